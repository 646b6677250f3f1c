// What the picture files share whichever library decodes them: fitting a
// picture into a box, and reading a whole file for the decoders that work
// from memory.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "osd.h"

namespace sim
{

// Bigger pictures are refused rather than decoded into gigabytes.
inline constexpr long maxPicturePixels = 64L << 20;

// The picture scaled to fit w x h with its aspect kept, centred in a w x h
// surface; the box around a picture of another shape is black, as a
// receiver's picture box shows it. Down-scaling averages areas, up-scaling
// interpolates bilinearly.
Surface fitPicture(const Surface &picture, int w, int h);

// The file's bytes; nothing, with "cannot open FILE" in `error`, when it
// cannot be read.
std::optional<std::vector<unsigned char>> fileBytes(const std::filesystem::path &file, std::string *error);

} // namespace sim
