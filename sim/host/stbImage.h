// stb_image, once for the JPEG and the PNG reader of the builds without
// libjpeg and libpng (WebAssembly): a whole file read and decoded from memory.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "osd.h"

namespace sim
{

struct StbRules {
    // Why the file's bytes must not reach stb_image at all (nullptr: they may).
    const char *(*unsound)(const std::vector<unsigned char> &bytes) = nullptr;
    // Why a picture of this size is not decoded ("": it is).
    std::string (*tooLarge)(int width, int height) = nullptr;
};

// The picture as ARGB (straight alpha; opaque where the file has none), or
// nothing with "FILE: why" in `error`.
std::optional<Surface> readWithStb(const std::filesystem::path &file, std::string *error, const StbRules &rules);

} // namespace sim
