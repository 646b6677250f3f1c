// PNG files of the simulator's frames: screenshots, golden pictures, the
// browser page's frame, and a user's own TV picture. The PC build links
// libpng (pngFile.cpp), the WebAssembly build stb_image and stb_image_write
// (pngStb.cpp); readTvPicture is theirs alike (pictureFit.cpp).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "osd.h"

namespace sim
{

// Opaque surfaces are written as RGB, others as RGBA (straight alpha).
// Folders are created as needed. False with the reason in `error`.
bool writePng(const Surface &surface, const std::filesystem::path &file, std::string *error = nullptr);
std::vector<unsigned char> encodePng(const Surface &surface);
// The same picture, bigger, in a fraction of the time: for frames on the wire.
std::vector<unsigned char> encodePngQuickly(const Surface &surface);

// Any PNG (every colour type and bit depth) as 8-bit ARGB.
std::optional<Surface> readPng(const std::filesystem::path &file, std::string *error = nullptr);

// A picture for Osd::setTvPicture: a PNG of exactly 720 x 576.
std::optional<Surface> readTvPicture(const std::filesystem::path &file, std::string *error = nullptr);

} // namespace sim
