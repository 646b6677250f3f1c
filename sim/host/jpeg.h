// TAP_Osd_DrawJpeg on the PC: JPEG files decoded and fitted into the
// program's picture box. The PC build decodes with libjpeg-turbo (jpeg.cpp),
// the WebAssembly build with stb_image (jpegStb.cpp).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "osd.h"
#include "pictureFit.h"

namespace sim
{

// The whole picture, opaque; nothing on a missing, unreadable or broken file
// (the reason in `error`). With a box size the decoder may shrink the picture
// cheaply while it decodes, as long as fitting the result into the box still
// shrinks it. This is the build's decoder, one of the two below.
std::optional<Surface> readJpeg(const std::filesystem::path &file, std::string *error = nullptr, int boxWidth = 0,
                                int boxHeight = 0);

// Damage that libjpeg can step over (data cut short after the header, stray
// bytes) gives what it recovers, as a receiver shows it; it shrinks by 1/2,
// 1/4 or 1/8 while decoding.
std::optional<Surface> readJpegWithLibjpeg(const std::filesystem::path &file, std::string *error, int boxWidth,
                                           int boxHeight);
// stb_image refuses damaged data and never shrinks while decoding.
std::optional<Surface> readJpegWithStb(const std::filesystem::path &file, std::string *error, int boxWidth,
                                       int boxHeight);

// The JpegDecoder of the simulator's display (Osd::setJpegDecoder).
bool decodeJpegFitted(const std::filesystem::path &file, int w, int h, Surface &out);

} // namespace sim
