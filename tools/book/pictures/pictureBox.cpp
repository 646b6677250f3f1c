// The decoded picture into the box with one pixman composite: the transform takes a box pixel to the
// stored picture through the scale, the crop or fit offset and the EXIF orientation, and a separable
// box filter averages what a box pixel covers.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "pictures/picture.h"
#include "pictures/pictureDecode.h"

namespace book
{

namespace
{

struct Affine {
    double xu, xv, x0; // x = xu * u + xv * v + x0
    double yu, yv, y0;
};

// From the upright picture's coordinates (u, v) to the stored picture's (x, y), whose size is w x h.
Affine orientationMap(int orientation, double w, double h)
{
    switch (orientation) {
    case 2: return {-1, 0, w, 0, 1, 0};
    case 3: return {-1, 0, w, 0, -1, h};
    case 4: return {1, 0, 0, 0, -1, h};
    case 5: return {0, 1, 0, 1, 0, 0};
    case 6: return {0, 1, 0, -1, 0, h};
    case 7: return {0, -1, w, -1, 0, h};
    case 8: return {0, -1, w, 1, 0, 0};
    default: return {1, 0, 0, 0, 1, 0};
    }
}

using Image = std::unique_ptr<pixman_image_t, decltype(&pixman_image_unref)>;

} // namespace

Pixels boxPicture(const std::string &bytes, int w, int h, Placement placement, SourceFacts &facts)
{
    if (bytes.size() > pictureFileMax)
        throw PictureError("larger than " + std::to_string(pictureFileMax >> 20) + " MB");
    DecodedPicture decoded;
    if (bytes.rfind("\377\330", 0) == 0)
        decoded = decodeJpeg(bytes, w, h, placement, facts);
    else if (bytes.rfind("\211PNG", 0) == 0)
        decoded = decodePng(bytes, facts);
    else if (isHeif(bytes))
        decoded = decodeHeif(bytes, facts);
    else
        throw PictureError("neither a JPEG, a PNG nor a HEIC file");

    bool swaps = facts.orientation >= 5;
    int uprightW = swaps ? decoded.height : decoded.width;
    int uprightH = swaps ? decoded.width : decoded.height;
    double scale = boxScale(uprightW, uprightH, w, h, placement);
    double placedW = uprightW * scale, placedH = uprightH * scale;
    double left = (w - placedW) / 2, top = (h - placedH) / 2;

    Pixels out{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, 0xFF000000u)};
    Image source(pixman_image_create_bits(decoded.fourBytes ? PIXMAN_x8r8g8b8 : PIXMAN_r8g8b8, decoded.width,
                                          decoded.height, reinterpret_cast<std::uint32_t *>(decoded.bytes.data()),
                                          decoded.stride),
                 pixman_image_unref);
    Image box(pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, out.data.data(), w * 4), pixman_image_unref);
    if (!source || !box)
        throw PictureError("out of memory");

    // Box pixel (X, Y) is the upright picture's ((X - left) / scale, (Y - top) / scale).
    Affine o = orientationMap(facts.orientation, decoded.width, decoded.height);
    auto fixed = [](double v) { return pixman_double_to_fixed(v); };
    pixman_transform_t transform = {{
        {fixed(o.xu / scale), fixed(o.xv / scale), fixed(o.x0 - (o.xu * left + o.xv * top) / scale)},
        {fixed(o.yu / scale), fixed(o.yv / scale), fixed(o.y0 - (o.yu * left + o.yv * top) / scale)},
        {0, 0, pixman_fixed_1},
    }};
    pixman_image_set_transform(source.get(), &transform);
    pixman_image_set_repeat(source.get(), PIXMAN_REPEAT_PAD);
    double footprint = std::max(1.0, 1 / scale);
    int count = 0;
    pixman_fixed_t *filter =
        pixman_filter_create_separable_convolution(&count, fixed(footprint), fixed(footprint), PIXMAN_KERNEL_LINEAR,
                                                   PIXMAN_KERNEL_LINEAR, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 4, 4);
    if (filter == nullptr)
        throw PictureError("out of memory");
    pixman_image_set_filter(source.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, filter, count);
    std::free(filter);

    // Only the placed part is drawn, so that a fitted picture keeps its black bars.
    int x0 = std::max(0, static_cast<int>(std::lround(left)));
    int y0 = std::max(0, static_cast<int>(std::lround(top)));
    int x1 = std::min(w, static_cast<int>(std::lround(left + placedW)));
    int y1 = std::min(h, static_cast<int>(std::lround(top + placedH)));
    pixman_image_composite32(PIXMAN_OP_SRC, source.get(), nullptr, box.get(), x0, y0, 0, 0, x0, y0, x1 - x0, y1 - y0);
    for (auto &p : out.data)
        p |= 0xFF000000u;
    return out;
}

Pixels placeholderPicture(int w, int h)
{
    // A quiet grey-blue, so that an unknown caller's box is not mistaken for a broken picture.
    return {w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, 0xFF5A6470u)};
}

} // namespace book
