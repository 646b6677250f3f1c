// TAP_Osd_DrawJpeg on the PC: JPEG files decoded with libjpeg-turbo and
// fitted into the program's picture box.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "osd.h"

namespace sim
{

// The whole picture, opaque; nothing on a missing, unreadable or broken file
// (the reason in `error`). Damage that libjpeg can step over (data cut short
// after the header, stray bytes) gives what it recovers, as a receiver shows
// it. With a box size the decoder may use libjpeg's cheap scaling by 1/2,
// 1/4 or 1/8 as long as fitting the result into the box still shrinks it.
std::optional<Surface> readJpeg(const std::filesystem::path &file, std::string *error = nullptr, int boxWidth = 0,
                                int boxHeight = 0);

// The picture scaled to fit w x h with its aspect kept, centred in a w x h
// surface; the box around a picture of another shape is black, as a
// receiver's picture box shows it. Down-scaling averages areas, up-scaling
// interpolates bilinearly.
Surface fitPicture(const Surface &picture, int w, int h);

// The JpegDecoder of the simulator's display (Osd::setJpegDecoder).
bool decodeJpegFitted(const std::filesystem::path &file, int w, int h, Surface &out);

} // namespace sim
