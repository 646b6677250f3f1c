// PNG files of frames and pictures: exact round trips with and without
// transparency, and clear errors for what is no picture or the wrong size.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "pngFile.h"

namespace
{

namespace fs = std::filesystem;
using sim::Surface;

class PngTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/rw-png-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

Surface noise(int w, int h, bool opaque, unsigned seed)
{
    std::mt19937 random(seed);
    Surface s{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    for (uint32_t &p : s.pixels)
        p = opaque ? (random() | 0xFF000000u) : static_cast<uint32_t>(random());
    return s;
}

TEST_F(PngTest, FramesComeBackExactly)
{
    for (bool opaque : {true, false}) {
        Surface original = noise(73, 41, opaque, opaque ? 1 : 2);
        // Straight alpha: a transparent pixel keeps no colour worth comparing,
        // so fully transparent pixels are made plain.
        for (uint32_t &p : original.pixels)
            if ((p >> 24) == 0)
                p = 0;
        fs::path file = dir / "sub/folder" / (opaque ? "opaque.png" : "alpha.png");
        std::string error;
        ASSERT_TRUE(sim::writePng(original, file, &error)) << error;
        auto back = sim::readPng(file, &error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(back->width, 73);
        EXPECT_EQ(back->height, 41);
        EXPECT_EQ(back->pixels, original.pixels) << (opaque ? "opaque" : "with alpha");
    }
}

TEST_F(PngTest, EncodedBytesAreTheSameAsTheFile)
{
    Surface s = sim::Osd::testPicture();
    ASSERT_TRUE(sim::writePng(s, dir / "tv.png"));
    std::ifstream in(dir / "tv.png", std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(sim::encodePng(s), file);
    EXPECT_TRUE(sim::encodePng(Surface{}).empty());
    EXPECT_FALSE(sim::writePng(Surface{}, dir / "empty.png"));
}

TEST_F(PngTest, WhatIsNoPngIsAnError)
{
    std::string error;
    EXPECT_FALSE(sim::readPng(dir / "missing.png", &error));
    EXPECT_NE(error.find("missing.png"), std::string::npos);
    std::ofstream(dir / "text.png") << "not a picture";
    EXPECT_FALSE(sim::readPng(dir / "text.png", &error));
    ASSERT_TRUE(sim::writePng(noise(100, 100, true, 3), dir / "whole.png"));
    fs::resize_file(dir / "whole.png", fs::file_size(dir / "whole.png") / 2);
    EXPECT_FALSE(sim::readPng(dir / "whole.png", &error));
}

TEST_F(PngTest, ATvPictureMustBeFullScreenAndShowsNoHoles)
{
    std::string error;
    ASSERT_TRUE(sim::writePng(noise(640, 480, true, 4), dir / "small.png"));
    EXPECT_FALSE(sim::readTvPicture(dir / "small.png", &error));
    EXPECT_NE(error.find("720 x 576"), std::string::npos) << error;

    Surface picture = noise(720, 576, false, 5);
    picture.pixels[0] = 0x00FFFFFF; // transparent white
    picture.pixels[1] = 0x80FF0000; // half-transparent red
    ASSERT_TRUE(sim::writePng(picture, dir / "tv.png"));
    auto tv = sim::readTvPicture(dir / "tv.png", &error);
    ASSERT_TRUE(tv) << error;
    for (uint32_t p : tv->pixels)
        ASSERT_EQ(p >> 24, 0xFFu);
    EXPECT_EQ(tv->pixels[0], 0xFF000000u);
    EXPECT_EQ(tv->pixels[1], 0xFF800000u);
}

} // namespace
