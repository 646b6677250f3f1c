// JPEG decoding with libjpeg's error manager turned into a longjmp, so that
// a broken file is an error result and never ends the simulator.
#include "jpeg.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace sim
{

namespace
{

// Bigger pictures are refused rather than decoded into gigabytes.
constexpr long maxPixels = 64L << 20;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info)
{
    auto *errors = reinterpret_cast<ErrorManager *>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void quietly(j_common_ptr, int) {}

uint32_t opaque(unsigned r, unsigned g, unsigned b)
{
    return 0xFF000000u | r << 16 | g << 8 | b;
}

// Everything that needs releasing lives outside the function that calls
// setjmp, so a longjmp skips no destructor that matters.
struct Decoding {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    FILE *file = nullptr;
    bool created = false;
    std::vector<JSAMPLE> row;
    ~Decoding()
    {
        if (created)
            jpeg_destroy_decompress(&info);
        if (file)
            std::fclose(file);
    }
};

bool decode(Decoding &d, Surface &out, int boxWidth, int boxHeight)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(&d.info);
    d.created = true;
    jpeg_stdio_src(&d.info, d.file);
    jpeg_read_header(&d.info, TRUE);
    bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    d.info.scale_num = 1;
    for (unsigned denom : {8u, 4u, 2u, 1u}) {
        d.info.scale_denom = denom;
        jpeg_calc_output_dimensions(&d.info);
        // Small enough to save work, large enough that fitting it into the
        // box still shrinks it.
        int ow = static_cast<int>(d.info.output_width), oh = static_cast<int>(d.info.output_height);
        if (boxWidth > 0 && boxHeight > 0 && (ow >= boxWidth || oh >= boxHeight))
            break;
    }
    if (static_cast<long>(d.info.output_width) * d.info.output_height > maxPixels) {
        std::snprintf(d.errors.message, sizeof d.errors.message, "picture too large (%ux%u)", d.info.image_width,
                      d.info.image_height);
        return false;
    }
    jpeg_start_decompress(&d.info);
    int w = static_cast<int>(d.info.output_width), h = static_cast<int>(d.info.output_height);
    int channels = d.info.output_components;
    out = Surface{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    d.row.resize(static_cast<size_t>(w) * channels);
    while (d.info.output_scanline < d.info.output_height) {
        int y = static_cast<int>(d.info.output_scanline);
        JSAMPROW rows[] = {d.row.data()};
        jpeg_read_scanlines(&d.info, rows, 1);
        for (int x = 0; x < w; ++x) {
            const JSAMPLE *p = &d.row[static_cast<size_t>(x) * channels];
            if (cmyk) {
                // Adobe writes CMYK inverted: 255 means no ink.
                unsigned k = p[3];
                out.at(x, y) = opaque(p[0] * k / 255, p[1] * k / 255, p[2] * k / 255);
            } else if (channels == 1) {
                out.at(x, y) = opaque(p[0], p[0], p[0]);
            } else {
                out.at(x, y) = opaque(p[0], p[1], p[2]);
            }
        }
    }
    jpeg_finish_decompress(&d.info);
    return true;
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

std::optional<Surface> readJpeg(const std::filesystem::path &file, std::string *error, int boxWidth, int boxHeight)
{
    Decoding d;
    d.file = std::fopen(file.c_str(), "rb");
    if (!d.file) {
        if (error)
            *error = "cannot open " + file.string();
        return std::nullopt;
    }
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = onError;
    d.errors.base.emit_message = quietly;
    Surface out;
    if (!decode(d, out, boxWidth, boxHeight)) {
        if (error)
            *error = file.string() + ": " + d.errors.message;
        return std::nullopt;
    }
    return out;
}

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

} // namespace sim
