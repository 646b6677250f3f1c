// libjpeg reports a fatal error by calling error_exit, which must not
// return: ours jumps back to the caller's setjmp with the library's message,
// so a broken picture becomes a message instead of ending the tool.
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
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

inline void ignoreJpegWarning(j_common_ptr, int) {}

} // namespace book
