// PNG through libpng (its simplified API where it can). A Surface holds 0xAARRGGBB words,
// which are B, G, R, A bytes in memory on the little-endian PCs this runs on.
#include "pngFile.h"

#include <png.h>

#include <algorithm>
#include <memory>

namespace sim
{

namespace
{

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "Surface words are read as BGRA bytes");

struct PngImage {
    png_image image{};
    PngImage() { image.version = PNG_IMAGE_VERSION; }
    ~PngImage() { png_image_free(&image); }
};

bool opaque(const Surface &s)
{
    return std::all_of(s.pixels.begin(), s.pixels.end(), [](uint32_t p) { return (p >> 24) == 0xFF; });
}

// Bytes and format for libpng: BGR when every pixel is opaque, BGRA else.
std::vector<unsigned char> packed(const Surface &s, png_uint_32 &format)
{
    bool rgb = opaque(s);
    format = rgb ? PNG_FORMAT_BGR : PNG_FORMAT_BGRA;
    size_t channels = rgb ? 3 : 4;
    std::vector<unsigned char> out(s.pixels.size() * channels);
    for (size_t i = 0; i < s.pixels.size(); ++i) {
        uint32_t p = s.pixels[i];
        unsigned char *d = &out[i * channels];
        d[0] = p & 0xFF;
        d[1] = (p >> 8) & 0xFF;
        d[2] = (p >> 16) & 0xFF;
        if (!rgb)
            d[3] = p >> 24;
    }
    return out;
}

bool fits(const Surface &s)
{
    return s.width > 0 && s.height > 0 && s.pixels.size() == size_t(s.width) * s.height;
}

} // namespace

bool writePng(const Surface &surface, const std::filesystem::path &file, std::string *error)
{
    if (!fits(surface)) {
        if (error)
            *error = "empty picture";
        return false;
    }
    std::error_code ec;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ec);
    PngImage png;
    png.image.width = static_cast<png_uint_32>(surface.width);
    png.image.height = static_cast<png_uint_32>(surface.height);
    auto bytes = packed(surface, png.image.format);
    if (!png_image_write_to_file(&png.image, file.c_str(), 0, bytes.data(), 0, nullptr)) {
        if (error)
            *error = file.string() + ": " + png.image.message;
        return false;
    }
    return true;
}

std::vector<unsigned char> encodePng(const Surface &surface)
{
    if (!fits(surface))
        return {};
    PngImage png;
    png.image.width = static_cast<png_uint_32>(surface.width);
    png.image.height = static_cast<png_uint_32>(surface.height);
    auto bytes = packed(surface, png.image.format);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png.image, nullptr, &size, 0, bytes.data(), 0, nullptr))
        return {};
    std::vector<unsigned char> out(size);
    if (!png_image_write_to_memory(&png.image, out.data(), &size, 0, bytes.data(), 0, nullptr))
        return {};
    out.resize(size);
    return out;
}

std::vector<unsigned char> encodePngQuickly(const Surface &surface)
{
    if (!fits(surface))
        return {};
    png_uint_32 format;
    auto bytes = packed(surface, format);
    int channels = format == PNG_FORMAT_BGR ? 3 : 4;
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto *to = static_cast<std::vector<unsigned char> *>(png_get_io_ptr(p));
            to->insert(to->end(), data, data + length);
        },
        nullptr);
    // Unfiltered rows at the fastest zlib level: a few milliseconds a frame,
    // a tenth of the default's time, for a file eight times as big that
    // loopback carries in no time.
    png_set_compression_level(png, 1);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_IHDR(png, info, static_cast<png_uint_32>(surface.width), static_cast<png_uint_32>(surface.height), 8,
                 channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < surface.height; ++y)
        png_write_row(png, &bytes[static_cast<size_t>(y) * surface.width * channels]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::optional<Surface> readPng(const std::filesystem::path &file, std::string *error)
{
    PngImage png;
    if (!png_image_begin_read_from_file(&png.image, file.c_str())) {
        if (error)
            *error = file.string() + ": " + png.image.message;
        return std::nullopt;
    }
    png.image.format = PNG_FORMAT_BGRA;
    if (png.image.width > 16384 || png.image.height > 16384) {
        if (error)
            *error = file.string() + ": picture too large";
        return std::nullopt;
    }
    Surface s{static_cast<int>(png.image.width), static_cast<int>(png.image.height), {}};
    s.pixels.resize(static_cast<size_t>(s.width) * s.height);
    if (!png_image_finish_read(&png.image, nullptr, s.pixels.data(), 0, nullptr)) {
        if (error)
            *error = file.string() + ": " + png.image.message;
        return std::nullopt;
    }
    return s;
}

} // namespace sim
