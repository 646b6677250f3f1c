// The stb variants of text and pictures (the WebAssembly build's) against the
// PC's FreeType, libjpeg and libpng: lines as high and as long, the program's
// texts as legible, the same photos, the same PNG pixels. Prints the pixel
// differences of the program's texts.
#include <gtest/gtest.h>

#include <png.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "jpeg.h"
#include "pngFile.h"
#include "typesetter.h"

namespace
{

namespace fs = std::filesystem;
using sim::Surface;

const std::vector<std::string> programTexts = {"Eingehender Anruf",       "Anna Schmidt",           "24.12.2009 18:30",
                                               "Gro\337mutter M\374ller", "\304rger \326l \334bel", "Telefonbuch",
                                               "Verbindung beendet",      "0171 23456789"};

std::vector<sim::FontSetting> fonts()
{
    return {sim::defaultFont(0), sim::defaultFont(1)};
}

class StbTextTest : public ::testing::Test
{
  protected:
    sim::Typesetter freetype{fonts(), sim::openFreetypeRaster};
    sim::Typesetter stb{fonts(), sim::openStbRaster};
};

TEST_F(StbTextTest, LinesAreAsHighAndAsLong)
{
    for (uint8_t size : {0, 1}) {
        auto a = sim::openFreetypeRaster(sim::defaultFont(size)), b = sim::openStbRaster(sim::defaultFont(size));
        EXPECT_EQ(a->ascender(), b->ascender()) << int(size);
        EXPECT_EQ(a->descender(), b->descender()) << int(size);
        for (const auto &text : programTexts)
            EXPECT_NEAR(stb.width(text, size), freetype.width(text, size), 2) << text << " size " << int(size);
    }
    // The ellipsis cuts where FreeType's does, give or take a letter, and stays within the room.
    const std::string text = programTexts[3] + " und " + programTexts[1];
    for (int room : {20, 50, 90, 130}) {
        std::u32string a = freetype.fitted(text, 1, room), b = stb.fitted(text, 1, room);
        ASSERT_FALSE(b.empty()) << room;
        EXPECT_EQ(b.back(), U'\u2026') << room;
        EXPECT_LE(stb.width(b, 1), room);
        EXPECT_NEAR(static_cast<int>(b.size()), static_cast<int>(a.size()), 1) << room;
    }
}

struct TextDifference {
    double inkA = 0, inkB = 0; // summed coverage in whole pixels
    double differing = 0;      // share of the box's pixels
    double meanDifference = 0; // of coverage, 0..255, over the box
    int edgeShift = 0;         // largest move of the ink's left, right, top or bottom edge
};

// Left, top, right and bottom of the pixels at least half covered.
std::array<int, 4> inkEdges(const Surface &s)
{
    std::array<int, 4> e = {s.width, s.height, -1, -1};
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            if ((s.at(x, y) >> 24) >= 128)
                e = {std::min(e[0], x), std::min(e[1], y), std::max(e[2], x), std::max(e[3], y)};
    return e;
}

TextDifference compare(const sim::Typesetter &a, const sim::Typesetter &b, const std::string &text, uint8_t size)
{
    int w = std::max(a.width(text, size), b.width(text, size)) + 4, h = a.lineHeight(size);
    Surface sa{w, h, std::vector<uint32_t>(size_t(w) * h)}, sb = sa;
    sim::TextStyle style{0xFFFFFFFF, 0, 0, size, false, 0};
    a.draw(sa, 0, 0, w, text, style);
    b.draw(sb, 0, 0, w, text, style);
    TextDifference d;
    for (size_t i = 0; i < sa.pixels.size(); ++i) {
        int ca = static_cast<int>(sa.pixels[i] >> 24), cb = static_cast<int>(sb.pixels[i] >> 24);
        d.inkA += ca / 255.0;
        d.inkB += cb / 255.0;
        d.differing += ca != cb;
        d.meanDifference += std::abs(ca - cb);
    }
    auto ea = inkEdges(sa), eb = inkEdges(sb);
    for (int i = 0; i < 4; ++i)
        d.edgeShift = std::max(d.edgeShift, std::abs(ea[i] - eb[i]));
    d.differing /= static_cast<double>(sa.pixels.size());
    d.meanDifference /= static_cast<double>(sa.pixels.size());
    return d;
}

// For the table: Latin-1 as UTF-8, padded to 24 letters.
std::string printable(const std::string &latin1)
{
    std::string out;
    for (unsigned char c : latin1)
        out += c < 0x80 ? std::string(1, char(c)) : std::string{char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
    return out + std::string(latin1.size() < 24 ? 24 - latin1.size() : 0, ' ');
}

TEST_F(StbTextTest, TheProgramsTextsAreAsLegible)
{
    std::printf("%-24s %4s %8s %8s %10s %9s %6s\n", "text (Latin-1)", "size", "ink FT", "ink stb", "differing",
                "mean diff", "edges");
    for (uint8_t size : {0, 1})
        for (const auto &text : programTexts) {
            TextDifference d = compare(freetype, stb, text, size);
            std::printf("%s %4d %8.1f %8.1f %9.1f%% %9.1f %6d\n", printable(text).c_str(), size, d.inkA, d.inkB,
                        100 * d.differing, d.meanDifference, d.edgeShift);
            // The same letters at the same places: as much ink, most pixels
            // of the box alike (blank in both), small differences at edges.
            EXPECT_NEAR(d.inkB, d.inkA, 0.15 * d.inkA) << text;
            EXPECT_LT(d.differing, 0.35) << text;
            EXPECT_LT(d.meanDifference, 32) << text;
            EXPECT_LE(d.edgeShift, 1) << text;
        }
}

TEST(StbFontTest, AnUnusableFontFileIsAClearError)
{
    char pattern[] = "/tmp/rw-font-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path dir = pattern;
    std::ifstream in(sim::defaultFont(1).file, std::ios::binary);
    std::string font((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(font.size(), 1000u);
    std::ofstream(dir / "cut.ttf", std::ios::binary) << font.substr(0, 600);
    std::ofstream(dir / "text.ttf", std::ios::binary) << "name = Anna Schmidt\n";
    for (const fs::path &file : {dir / "missing.ttf", dir / "cut.ttf", dir / "text.ttf", dir}) {
        try {
            sim::openStbRaster({file, 15, 19});
            ADD_FAILURE() << file << " was accepted";
        } catch (const std::runtime_error &e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
    }
    fs::remove_all(dir);
}

// The photos of the demo disk and pictures of other kinds (larger,
// progressive), decoded whole and fitted into the status bar's and the
// book's boxes.
TEST(StbJpegTest, PhotosDecodeAsWithLibjpeg)
{
    std::vector<fs::path> files = {RW_SOURCE_DIR "/tests/tools/data/pictures/photo.jpg",
                                   RW_SOURCE_DIR "/tests/tools/data/pictures/progressive.jpg"};
    for (const auto &entry : fs::directory_iterator(RW_SOURCE_DIR "/demo/disk/PhotoFiles/Ringwatcher"))
        files.push_back(entry.path());
    ASSERT_GE(files.size(), 5u);
    auto meanDifference = [](const Surface &a, const Surface &b) {
        double sum = 0;
        for (size_t i = 0; i < a.pixels.size(); ++i)
            for (int shift : {0, 8, 16})
                sum += std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) -
                                static_cast<int>((b.pixels[i] >> shift) & 0xFF));
        return sum / (3.0 * static_cast<double>(a.pixels.size()));
    };
    for (const auto &file : files) {
        std::string error;
        auto a = sim::readJpegWithLibjpeg(file, &error, 0, 0);
        ASSERT_TRUE(a) << error;
        auto b = sim::readJpeg(file, &error); // the stb build's
        ASSERT_TRUE(b) << error;
        ASSERT_EQ(b->width, a->width);
        ASSERT_EQ(b->height, a->height);
        double whole = meanDifference(*a, *b);
        EXPECT_LT(whole, 3.0) << file;
        for (auto [w, h] : {std::pair{68, 62}, std::pair{166, 158}}) {
            Surface fitted;
            ASSERT_TRUE(sim::decodeJpegFitted(file, w, h, fitted));
            double boxed = meanDifference(sim::fitPicture(*sim::readJpegWithLibjpeg(file, &error, w, h), w, h), fitted);
            std::printf("%-16s %dx%d whole %.2f, in %dx%d %.2f\n", file.filename().c_str(), a->width, a->height, whole,
                        w, h, boxed);
            EXPECT_LT(boxed, 4.0) << file << " in " << w << "x" << h;
        }
    }
}

// What is no JPEG, or only the start of one, is refused with the file's
// name, wherever it is damaged.
TEST(StbJpegTest, BrokenFilesAreRefused)
{
    char pattern[] = "/tmp/rw-stbjpeg-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path dir = pattern;
    std::ifstream in(RW_SOURCE_DIR "/demo/disk/PhotoFiles/Ringwatcher/anna.jpg", std::ios::binary);
    std::string good((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(good.size(), 1000u);
    std::string noStart = good, noRows = good;
    noStart[1] = 0;
    size_t frame = noRows.find("\377\300");
    ASSERT_NE(frame, std::string::npos);
    noRows[frame + 5] = noRows[frame + 6] = 0; // a frame of height 0
    std::string tooManySymbols = good;
    size_t table = tooManySymbols.find("\377\304");
    ASSERT_NE(table, std::string::npos);
    for (size_t count = table + 5; count < table + 21; ++count)
        tooManySymbols[count] = '\377';
    std::string undefinedTable = good;
    size_t scan = undefinedTable.find("\377\332");
    ASSERT_NE(scan, std::string::npos);
    undefinedTable[scan + 6] = '\063'; // the first component's tables from slots no segment fills
    const std::pair<const char *, std::string> broken[] = {
        {"empty.jpg", ""},
        {"text.jpg", "name = Anna\n"},
        {"header.jpg", good.substr(0, 40)},
        {"start.jpg", noStart},
        {"rows.jpg", noRows},
        {"tables.jpg", good.substr(0, good.size() / 20)},
        {"symbols.jpg", tooManySymbols},
        {"undefined.jpg", undefinedTable},
        {"cut.jpg", good.substr(0, good.size() * 2 / 3)}}; // libjpeg would show the part it has
    for (const auto &[name, contents] : broken)
        std::ofstream(dir / name, std::ios::binary) << contents;
    for (const fs::path &file : {dir / "missing.jpg", dir} /* a folder is no picture */) {
        std::string error;
        EXPECT_FALSE(sim::readJpeg(file, &error)) << file;
        EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    }
    for (const auto &[name, contents] : broken) {
        std::string error;
        EXPECT_FALSE(sim::readJpeg(dir / name, &error)) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
        Surface out;
        EXPECT_FALSE(sim::decodeJpegFitted(dir / name, 68, 62, out)) << name;
    }
    fs::remove_all(dir);
}

// libpng reads what stb writes, and stb what libpng writes, pixel for pixel.
TEST(StbPngTest, LibpngAndStbAgree)
{
    std::mt19937 random(7);
    for (bool opaque : {true, false}) {
        Surface s{37, 23, std::vector<uint32_t>(size_t{37} * 23)};
        for (uint32_t &p : s.pixels)
            p = opaque ? random() | 0xFF000000u : random() | 0x01000000u;
        for (auto encode : {sim::encodePng, sim::encodePngQuickly}) {
            auto bytes = encode(s);
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
            image.format = PNG_FORMAT_BGRA;
            std::vector<uint32_t> back(s.pixels.size());
            ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
            EXPECT_EQ(back, s.pixels) << (opaque ? "opaque" : "with alpha");
        }
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = 37;
        image.height = 23;
        image.format = PNG_FORMAT_BGRA;
        char pattern[] = "/tmp/rw-libpng-XXXXXX.png";
        int fd = mkstemps(pattern, 4);
        ASSERT_GE(fd, 0);
        close(fd);
        ASSERT_TRUE(png_image_write_to_file(&image, pattern, 0, s.pixels.data(), 0, nullptr));
        auto read = sim::readPng(pattern);
        fs::remove(pattern);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->pixels, s.pixels) << (opaque ? "opaque" : "with alpha");
    }
}

} // namespace
