// PNG reading through libpng's simplified API, which converts every colour
// type and bit depth to 8-bit sRGB ARGB for us.
#include "pngImage.h"

#include <png.h>

#include <memory>

#include "imageCodec.h"

namespace imagepack
{

bool readPng(const std::filesystem::path &path, Image &image, std::string &error)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "no such file";
        return false;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    // png_image_free releases libpng's state on every exit path.
    const auto release = [](png_image *p) { png_image_free(p); };
    std::unique_ptr<png_image, decltype(release)> guard(&png, release);
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        error = std::string("not a readable PNG: ") + png.message;
        return false;
    }
    png.format = PNG_FORMAT_ARGB;
    std::vector<uint8_t> argb(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, argb.data(), 0, nullptr) == 0) {
        error = std::string("corrupt PNG: ") + png.message;
        return false;
    }
    image.width = png.width;
    image.height = png.height;
    image.pixels.resize(size_t{png.width} * png.height);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const uint8_t *p = &argb[i * 4];
        image.pixels[i] = sim::argbTo1555(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]);
    }
    return true;
}

} // namespace imagepack
