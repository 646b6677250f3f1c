// JPEG decoding with libjpeg-turbo, its error manager turned into a longjmp,
// so that a broken file is an error result and never ends the simulator.
#include "jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace sim
{

namespace
{

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
    if (static_cast<long>(d.info.output_width) * d.info.output_height > maxPicturePixels) {
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

} // namespace

std::optional<Surface> readJpegWithLibjpeg(const std::filesystem::path &file, std::string *error, int boxWidth,
                                           int boxHeight)
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

} // namespace sim
