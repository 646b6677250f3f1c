#include "stbImage.h"

#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
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

#include "pictureFit.h"

namespace sim
{

std::optional<Surface> readWithStb(const std::filesystem::path &file, std::string *error, const StbRules &rules)
{
    auto bytes = fileBytes(file, error);
    if (!bytes)
        return std::nullopt;
    auto refuse = [&](const std::string &why) -> std::optional<Surface> {
        if (error)
            *error = file.string() + ": " + why;
        return std::nullopt;
    };
    if (const char *unsound = rules.unsound ? rules.unsound(*bytes) : nullptr)
        return refuse(unsound);
    int size = static_cast<int>(std::min<size_t>(bytes->size(), INT32_MAX));
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(bytes->data(), size, &w, &h, &channels))
        return refuse(stbi_failure_reason());
    if (std::string why = rules.tooLarge ? rules.tooLarge(w, h) : ""; !why.empty())
        return refuse(why);
    std::unique_ptr<stbi_uc, void (*)(void *)> rgba(stbi_load_from_memory(bytes->data(), size, &w, &h, &channels, 4),
                                                    stbi_image_free);
    if (!rgba)
        return refuse(stbi_failure_reason());
    Surface out{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        const stbi_uc *p = rgba.get() + 4 * i;
        out.pixels[i] = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
    return out;
}

} // namespace sim
