// Pictures for the receiver: a phone's or the router's JPEG or PNG made into a small baseline JPEG of
// the book window's picture box. libjpeg-turbo decodes (scaling by eighths on the way), libexif tells
// the orientation, libpng reads PNG, pixman scales, turns and crops; nothing here touches a pixel.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace book
{

// The book window's picture box; the bar's 68 x 62 box shows the same file fitted.
inline constexpr int pictureWidth = 166;
inline constexpr int pictureHeight = 158;

// Opaque pixels 0xFFRRGGBB, row after row.
struct Pixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> data;
};

// crop: the picture fills the box, what sticks out at two sides is cut off (a face stays large);
// fit: the whole picture, centred, with black bars as the receiver's box shows them anyway.
enum class Placement { crop, fit };

struct SourceFacts {
    std::string kind; // "JPEG", "PNG" or "HEIC"
    int width = 0, height = 0;
    int orientation = 1; // EXIF 1 to 8; 1 upright
    bool progressive = false;
};

struct PictureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Files larger than this are no picture a person took; they are refused before decoding.
inline constexpr std::size_t pictureFileMax = 64u << 20;

// The picture in `bytes` (JPEG, PNG or HEIC) made to w x h; throws PictureError with the reason.
Pixels boxPicture(const std::string &bytes, int w, int h, Placement placement, SourceFacts &facts);

// A baseline JPEG (not progressive, 4:2:0, optimised Huffman tables, no metadata).
std::string encodeJpeg(const Pixels &pixels, int quality = 85);

// A plain picture for numbers without an entry when the folder has no "unknown.jpg".
Pixels placeholderPicture(int w, int h);

// What the receiver meets in a picture file: its header, not its pixels.
struct JpegFacts {
    bool readable = false;
    std::string error; // why not
    int width = 0, height = 0;
    bool progressive = false;
    bool cmyk = false;
};
JpegFacts inspectJpeg(const std::string &bytes);

} // namespace book
