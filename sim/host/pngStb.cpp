// PNG through stb_image_write and stb_image, for builds without libpng
// (WebAssembly). Files come out larger than libpng's at the same level; every
// PNG colour type and bit depth still reads.
#include "pngFile.h"

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>

#include "pictureFit.h"
#include "stbImage.h"

namespace sim
{

namespace
{

constexpr int maxSide = 16384;

// stb_image_write takes its compression level and filter from globals.
std::mutex settingsLock;

bool fits(const Surface &s)
{
    return s.width > 0 && s.height > 0 && s.pixels.size() == size_t(s.width) * s.height;
}

// RGB bytes when every pixel is opaque, RGBA (straight alpha) else.
std::vector<unsigned char> packed(const Surface &s, int &channels)
{
    bool rgb = std::all_of(s.pixels.begin(), s.pixels.end(), [](uint32_t p) { return (p >> 24) == 0xFF; });
    channels = rgb ? 3 : 4;
    std::vector<unsigned char> out(s.pixels.size() * channels);
    for (size_t i = 0; i < s.pixels.size(); ++i) {
        uint32_t p = s.pixels[i];
        unsigned char *d = &out[i * channels];
        d[0] = (p >> 16) & 0xFF;
        d[1] = (p >> 8) & 0xFF;
        d[2] = p & 0xFF;
        if (!rgb)
            d[3] = p >> 24;
    }
    return out;
}

void append(void *context, void *data, int size)
{
    auto *to = static_cast<std::vector<unsigned char> *>(context);
    auto *from = static_cast<unsigned char *>(data);
    to->insert(to->end(), from, from + size);
}

std::vector<unsigned char> encode(const Surface &surface, int level, int filter)
{
    if (!fits(surface))
        return {};
    int channels = 0;
    auto bytes = packed(surface, channels);
    std::vector<unsigned char> out;
    std::lock_guard lock(settingsLock);
    stbi_write_png_compression_level = level;
    stbi_write_force_png_filter = filter;
    if (!stbi_write_png_to_func(append, &out, surface.width, surface.height, channels, bytes.data(),
                                surface.width * channels))
        return {};
    return out;
}

} // namespace

std::vector<unsigned char> encodePng(const Surface &surface)
{
    return encode(surface, 8, -1); // stb's defaults: the best filter for each row
}

std::vector<unsigned char> encodePngQuickly(const Surface &surface)
{
    // Unfiltered rows at stb's fastest level: frames on the wire.
    return encode(surface, 1, 0);
}

bool writePng(const Surface &surface, const std::filesystem::path &file, std::string *error)
{
    if (!fits(surface)) {
        if (error)
            *error = "empty picture";
        return false;
    }
    auto png = encodePng(surface);
    if (png.empty()) {
        if (error)
            *error = file.string() + ": cannot encode";
        return false;
    }
    std::error_code ec;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(png.data()), static_cast<std::streamsize>(png.size()));
    out.close();
    if (!out) {
        if (error)
            *error = file.string() + ": cannot write";
        return false;
    }
    return true;
}

std::optional<Surface> readPng(const std::filesystem::path &file, std::string *error)
{
    StbRules rules;
    rules.tooLarge = [](int w, int h) { return w > maxSide || h > maxSide ? std::string("picture too large") : ""; };
    return readWithStb(file, error, rules);
}

} // namespace sim
