// libjpeg reports fatal errors through error_exit, which must not return: it long-jumps back here, so
// that a broken file is a PictureError and never ends the tool.
#include "pictures/pictureDecode.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "pictures/jpegErrors.h"
#include <libexif/exif-data.h>
#include <png.h>

namespace book
{

namespace
{

// libpng's own texts ("IDAT: CRC error") tell an owner nothing.
constexpr const char *damagedPng = "the file is damaged (not a whole PNG picture)";

// Larger pictures would need more memory than any caller photo is worth.
constexpr long pixelsMax = 100L << 20;
// pixman places pixels with 16.16 fixed-point coordinates.
constexpr int sideMax = 32767;

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

bool orientationSwaps(int orientation)
{
    return orientation >= 5;
}

// Nothing in here owns memory that a long jump would leak: the vector is the caller's.
bool decode(Decompression &d, const std::string &bytes, int boxWidth, int boxHeight, Placement placement,
            SourceFacts &facts, DecodedPicture &out)
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
    if (d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK) {
        std::snprintf(d.errors.message, sizeof d.errors.message, "a CMYK JPEG (a print file): save it as RGB");
        return false;
    }
    if (facts.width > sideMax || facts.height > sideMax || static_cast<long>(facts.width) * facts.height > pixelsMax) {
        std::snprintf(d.errors.message, sizeof d.errors.message, "too large to read (%d x %d)", facts.width,
                      facts.height);
        return false;
    }
    bool swaps = orientationSwaps(facts.orientation);
    double scale = boxScale(swaps ? facts.height : facts.width, swaps ? facts.width : facts.height, boxWidth, boxHeight,
                            placement);
    // The decoder's own scaling, in eighths: the smallest that leaves pixman only a little to shrink.
    d.info.scale_denom = 8;
    d.info.scale_num = static_cast<unsigned>(std::clamp(std::ceil(scale * 8 - 1e-9), 1.0, 8.0));
    d.info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&d.info);
    out.width = static_cast<int>(d.info.output_width);
    out.height = static_cast<int>(d.info.output_height);
    out.stride = out.width * 4;
    out.fourBytes = true;
    out.bytes.resize(static_cast<std::size_t>(out.stride) * out.height);
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = out.bytes.data() + static_cast<std::size_t>(d.info.output_scanline) * out.stride;
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

} // namespace

double boxScale(int w, int h, int boxWidth, int boxHeight, Placement placement)
{
    double sx = static_cast<double>(boxWidth) / w, sy = static_cast<double>(boxHeight) / h;
    return placement == Placement::crop ? std::max(sx, sy) : std::min(sx, sy);
}

int exifOrientation(const std::string &bytes)
{
    ExifData *data = exif_data_new_from_data(reinterpret_cast<const unsigned char *>(bytes.data()),
                                             static_cast<unsigned>(bytes.size()));
    if (data == nullptr)
        return 1;
    int orientation = 1;
    if (ExifEntry *entry = exif_data_get_entry(data, EXIF_TAG_ORIENTATION);
        entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1)
        orientation = exif_get_short(entry->data, exif_data_get_byte_order(data));
    exif_data_unref(data);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

DecodedPicture decodeJpeg(const std::string &bytes, int boxWidth, int boxHeight, Placement placement,
                          SourceFacts &facts)
{
    facts.kind = "JPEG";
    facts.orientation = exifOrientation(bytes);
    Decompression d;
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = jumpOnJpegError;
    d.errors.base.emit_message = ignoreJpegWarning;
    DecodedPicture out;
    if (!decode(d, bytes, boxWidth, boxHeight, placement, facts, out))
        throw PictureError(d.errors.message);
    return out;
}

DecodedPicture decodePng(const std::string &bytes, SourceFacts &facts)
{
    facts.kind = "PNG";
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        throw PictureError(damagedPng);
    facts.width = static_cast<int>(image.width);
    facts.height = static_cast<int>(image.height);
    if (facts.width > sideMax || facts.height > sideMax || static_cast<long>(facts.width) * facts.height > pixelsMax) {
        png_image_free(&image);
        throw PictureError("too large to read (" + std::to_string(facts.width) + " x " + std::to_string(facts.height) +
                           ")");
    }
    // Transparent parts go on white: logos are drawn for a white page.
    image.format = PNG_FORMAT_BGR;
    png_color white{255, 255, 255};
    DecodedPicture out;
    out.width = facts.width;
    out.height = facts.height;
    out.fourBytes = false;
    out.stride = (out.width * 3 + 3) / 4 * 4;
    out.bytes.resize(static_cast<std::size_t>(out.stride) * out.height);
    if (!png_image_finish_read(&image, &white, out.bytes.data(), out.stride, nullptr))
        throw PictureError(damagedPng);
    return out;
}

} // namespace book
