// JPEG decoding with stb_image, for builds without libjpeg (WebAssembly). It
// decodes from memory and never longjmps: a broken file is simply refused.
#include "jpeg.h"

#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cstdint>
#include <memory>

namespace sim
{

std::optional<Surface> readJpegWithStb(const std::filesystem::path &file, std::string *error, int, int)
{
    auto bytes = fileBytes(file, error);
    if (!bytes)
        return std::nullopt;
    auto refuse = [&](const std::string &why) -> std::optional<Surface> {
        if (error)
            *error = file.string() + ": " + why;
        return std::nullopt;
    };
    int size = static_cast<int>(std::min<size_t>(bytes->size(), INT32_MAX));
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(bytes->data(), size, &w, &h, &channels))
        return refuse(stbi_failure_reason());
    if (static_cast<long>(w) * h > maxPicturePixels)
        return refuse("picture too large (" + std::to_string(w) + "x" + std::to_string(h) + ")");
    std::unique_ptr<stbi_uc, void (*)(void *)> rgb(stbi_load_from_memory(bytes->data(), size, &w, &h, &channels, 3),
                                                   stbi_image_free);
    if (!rgb)
        return refuse(stbi_failure_reason());
    Surface out{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        const stbi_uc *p = rgb.get() + 3 * i;
        out.pixels[i] = 0xFF000000u | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
    return out;
}

} // namespace sim
