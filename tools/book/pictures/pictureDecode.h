// Decoding a picture file into pixels for the box: JPEG (shrunk by libjpeg-turbo while decoding) and
// PNG (transparency laid on white), with the EXIF orientation of JPEG files.
#pragma once

#include <string>
#include <vector>

#include "pictures/picture.h"

namespace book
{

// Bytes as pixman reads them: 0xXXRRGGBB words (four bytes) or B, G, R triples (three bytes) per
// pixel, rows `stride` bytes apart (a multiple of four).
struct DecodedPicture {
    int width = 0, height = 0, stride = 0;
    bool fourBytes = true;
    std::vector<unsigned char> bytes;
};

// The scale by which a picture whose upright size is w x h goes into the box.
double boxScale(int w, int h, int boxWidth, int boxHeight, Placement placement);

// Throw PictureError. A JPEG is decoded at the smallest eighth of its size that is still at least
// as large as the box needs; `facts` receives the file's own size and orientation.
DecodedPicture decodeJpeg(const std::string &bytes, int boxWidth, int boxHeight, Placement placement,
                          SourceFacts &facts);
DecodedPicture decodePng(const std::string &bytes, SourceFacts &facts);
// HEIC (HEIF with HEVC), already turned upright.
bool isHeif(const std::string &bytes);
DecodedPicture decodeHeif(const std::string &bytes, SourceFacts &facts);

// The EXIF orientation tag of a JPEG file, 1 (upright) when there is none or it is out of range.
int exifOrientation(const std::string &bytes);

} // namespace book
