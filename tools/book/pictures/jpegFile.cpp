// Writing the receiver's JPEG files and reading what the receiver would meet in one, with libjpeg-turbo.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "pictures/jpegErrors.h"
#include "pictures/picture.h"

namespace book
{

namespace
{

struct Compression {
    jpeg_compress_struct info{};
    JpegErrors errors{};
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    bool created = false;
    ~Compression()
    {
        if (created)
            jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

bool compress(Compression &c, const Pixels &pixels, int quality)
{
    if (setjmp(c.errors.jump))
        return false;
    jpeg_create_compress(&c.info);
    c.created = true;
    jpeg_mem_dest(&c.info, &c.buffer, &c.size);
    c.info.image_width = static_cast<JDIMENSION>(pixels.width);
    c.info.image_height = static_cast<JDIMENSION>(pixels.height);
    c.info.input_components = 4;
    c.info.in_color_space = JCS_EXT_BGRX;
    // The defaults are baseline, 4:2:0 YCbCr; progressive would take a separate call.
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, quality, TRUE);
    c.info.optimize_coding = TRUE;
    jpeg_start_compress(&c.info, TRUE);
    while (c.info.next_scanline < c.info.image_height) {
        auto *row = reinterpret_cast<JSAMPROW>(const_cast<std::uint32_t *>(
            pixels.data.data() + static_cast<std::size_t>(c.info.next_scanline) * pixels.width));
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return true;
}

struct Decompression {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    bool created = false;
    ~Decompression()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

bool readHeader(Decompression &d, const std::string &bytes, JpegFacts &facts)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(&d.info);
    d.created = true;
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    jpeg_read_header(&d.info, TRUE);
    facts.width = static_cast<int>(d.info.image_width);
    facts.height = static_cast<int>(d.info.image_height);
    facts.progressive = d.info.progressive_mode != 0;
    facts.cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    return true;
}

} // namespace

std::string encodeJpeg(const Pixels &pixels, int quality)
{
    Compression c;
    c.info.err = jpeg_std_error(&c.errors.base);
    c.errors.base.error_exit = jumpOnJpegError;
    c.errors.base.emit_message = ignoreJpegWarning;
    if (!compress(c, pixels, quality))
        throw PictureError(std::string("cannot write JPEG: ") + c.errors.message);
    return std::string(reinterpret_cast<const char *>(c.buffer), c.size);
}

JpegFacts inspectJpeg(const std::string &bytes)
{
    JpegFacts facts;
    if (bytes.rfind("\377\330", 0) != 0) {
        facts.error = bytes.rfind("\211PNG", 0) == 0 ? "a PNG file, not a JPEG" : "not a JPEG file";
        return facts;
    }
    Decompression d;
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = jumpOnJpegError;
    d.errors.base.emit_message = ignoreJpegWarning;
    facts.readable = readHeader(d, bytes, facts);
    if (!facts.readable)
        facts.error = d.errors.message;
    return facts;
}

} // namespace book
