// Reading an art PNG into ARGB1555 pixels for packing.
#ifndef RINGWATCHER_TOOLS_IMAGEPACK_PNGIMAGE_H
#define RINGWATCHER_TOOLS_IMAGEPACK_PNGIMAGE_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imagepack
{

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint16_t> pixels; // ARGB1555, row by row
};

// Reads any PNG that libpng understands (palette, grey, 16-bit, with or
// without alpha). On failure returns false and says why in `error`.
bool readPng(const std::filesystem::path &path, Image &image, std::string &error);

} // namespace imagepack

#endif
