// Test pictures written with libjpeg, for the picture boxes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace test
{

// A JPEG of w x h whose pixel colours come from `color`.
inline void writeJpeg(const std::filesystem::path &file, int w, int h, const std::function<uint32_t(int, int)> &color,
                      bool grey = false)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    FILE *out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * info.input_components);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t c = color(x, y);
            if (grey) {
                row[x] = static_cast<JSAMPLE>(c & 0xFF);
            } else {
                row[x * 3] = static_cast<JSAMPLE>(c >> 16);
                row[x * 3 + 1] = static_cast<JSAMPLE>(c >> 8);
                row[x * 3 + 2] = static_cast<JSAMPLE>(c);
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}

} // namespace test
