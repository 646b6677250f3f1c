// libjpeg reports a fatal error by calling error_exit, which must not
// return: ours jumps back to the caller's setjmp, so a broken picture becomes
// a message instead of ending the tool. The library's own text ("Bogus
// Huffman table definition") tells an owner nothing; ours says what it means.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace book
{

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

inline void jumpOnJpegError(j_common_ptr info)
{
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    std::snprintf(errors->message, sizeof errors->message, "the file is damaged (not a whole JPEG picture)");
    std::longjmp(errors->jump, 1);
}

inline void ignoreJpegWarning(j_common_ptr, int) {}

} // namespace book
