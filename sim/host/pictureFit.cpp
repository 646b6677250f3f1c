// What both picture libraries share: fitting into a box, the display's JPEG
// path over the build's decoder, the TV picture over the build's PNG reader.
#include <algorithm>
#include <cmath>
#include <fstream>

#include "jpeg.h"
#include "pictureFit.h"
#include "pngFile.h"

namespace sim
{

namespace
{

uint32_t opaque(unsigned r, unsigned g, unsigned b)
{
    return 0xFF000000u | r << 16 | g << 8 | b;
}

uint32_t channel(uint32_t p, int shift)
{
    return (p >> shift) & 0xFF;
}

// Area average of the source rectangle [x0, x1) x [y0, y1) in source pixels,
// partial pixels weighted by their share.
uint32_t average(const Surface &s, double x0, double x1, double y0, double y1)
{
    double sum[3] = {0, 0, 0}, total = 0;
    for (int y = static_cast<int>(y0); y < static_cast<int>(std::ceil(y1)) && y < s.height; ++y) {
        double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
        for (int x = static_cast<int>(x0); x < static_cast<int>(std::ceil(x1)) && x < s.width; ++x) {
            double wx = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
            double weight = wx * wy;
            uint32_t p = s.at(x, y);
            sum[0] += weight * channel(p, 16);
            sum[1] += weight * channel(p, 8);
            sum[2] += weight * channel(p, 0);
            total += weight;
        }
    }
    auto v = [&](int i) { return static_cast<unsigned>(std::lround(total > 0 ? sum[i] / total : 0)); };
    return opaque(v(0), v(1), v(2));
}

uint32_t bilinear(const Surface &s, double x, double y)
{
    x = std::clamp(x, 0.0, s.width - 1.0);
    y = std::clamp(y, 0.0, s.height - 1.0);
    int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    int x1 = std::min(x0 + 1, s.width - 1), y1 = std::min(y0 + 1, s.height - 1);
    double fx = x - x0, fy = y - y0;
    auto v = [&](int shift) {
        double top = channel(s.at(x0, y0), shift) * (1 - fx) + channel(s.at(x1, y0), shift) * fx;
        double bottom = channel(s.at(x0, y1), shift) * (1 - fx) + channel(s.at(x1, y1), shift) * fx;
        return static_cast<unsigned>(std::lround(top * (1 - fy) + bottom * fy));
    };
    return opaque(v(16), v(8), v(0));
}

} // namespace

Surface fitPicture(const Surface &picture, int w, int h)
{
    Surface out{w, h, std::vector<uint32_t>(static_cast<size_t>(std::max(w, 0)) * std::max(h, 0), 0xFF000000u)};
    if (w <= 0 || h <= 0 || picture.width <= 0 || picture.height <= 0)
        return out;
    double scale = std::min(static_cast<double>(w) / picture.width, static_cast<double>(h) / picture.height);
    int fw = std::clamp(static_cast<int>(std::lround(picture.width * scale)), 1, w);
    int fh = std::clamp(static_cast<int>(std::lround(picture.height * scale)), 1, h);
    int left = (w - fw) / 2, top = (h - fh) / 2;
    double sx = static_cast<double>(picture.width) / fw, sy = static_cast<double>(picture.height) / fh;
    for (int y = 0; y < fh; ++y)
        for (int x = 0; x < fw; ++x) {
            uint32_t p;
            if (sx >= 1 && sy >= 1)
                p = average(picture, x * sx, (x + 1) * sx, y * sy, (y + 1) * sy);
            else
                p = bilinear(picture, (x + 0.5) * sx - 0.5, (y + 0.5) * sy - 0.5);
            out.at(left + x, top + y) = p;
        }
    return out;
}

std::optional<std::vector<unsigned char>> fileBytes(const std::filesystem::path &file, std::string *error)
{
    // Read in blocks: a folder or a failing disk sets badbit here, where a
    // stream iterator would throw.
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes;
    char block[1 << 16];
    while (in.read(block, sizeof block) || in.gcount() > 0)
        bytes.insert(bytes.end(), block, block + in.gcount());
    if (in.bad() || !in.eof()) {
        if (error)
            *error = "cannot open " + file.string();
        return std::nullopt;
    }
    return bytes;
}

// simpictures_stb compiles this file with RW_PICTURES_STB; only that build
// links stb_image, only the other one libjpeg.
std::optional<Surface> readJpeg(const std::filesystem::path &file, std::string *error, int boxWidth, int boxHeight)
{
#ifdef RW_PICTURES_STB
    return readJpegWithStb(file, error, boxWidth, boxHeight);
#else
    return readJpegWithLibjpeg(file, error, boxWidth, boxHeight);
#endif
}

bool decodeJpegFitted(const std::filesystem::path &file, int w, int h, Surface &out)
{
    if (w <= 0 || h <= 0)
        return false;
    auto picture = readJpeg(file, nullptr, w, h);
    if (!picture)
        return false;
    out = fitPicture(*picture, w, h);
    return true;
}

std::optional<Surface> readTvPicture(const std::filesystem::path &file, std::string *error)
{
    auto picture = readPng(file, error);
    if (picture && (picture->width != screenWidth || picture->height != screenHeight)) {
        if (error)
            *error = file.string() + ": the TV picture must be " + std::to_string(screenWidth) + " x " +
                     std::to_string(screenHeight) + ", not " + std::to_string(picture->width) + " x " +
                     std::to_string(picture->height);
        return std::nullopt;
    }
    // A screen has no holes: transparent parts show black.
    if (picture)
        for (uint32_t &p : picture->pixels) {
            uint32_t a = p >> 24;
            auto c = [&](int shift) { return (((p >> shift) & 0xFF) * a + 127) / 255 << shift; };
            p = 0xFF000000u | c(16) | c(8) | c(0);
        }
    return picture;
}

} // namespace sim
