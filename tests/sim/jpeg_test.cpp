// JPEG pictures in the program's picture boxes: fitted with their aspect,
// centred on black, and broken or missing files refused without harm, also
// through the display's TAP_Osd_DrawJpeg path.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "firmware.h"
#include "frontend.h"
#include "jpeg.h"
#include "pictures.h"

namespace
{

namespace fs = std::filesystem;
using sim::Surface;
using test::writeJpeg;

constexpr uint32_t black = 0xFF000000;

bool near(uint32_t actual, uint32_t expected, int tolerance = 24)
{
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) >
            tolerance)
            return false;
    return true;
}

class JpegTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/rw-jpeg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

uint32_t redBlue(int x, int, int w)
{
    return x < w / 2 ? 0xFFE00000 : 0xFF0000E0;
}

TEST_F(JpegTest, AWidePictureFillsTheWidthWithBlackAboveAndBelow)
{
    writeJpeg(dir / "wide.jpg", 200, 100, [](int x, int y) { return redBlue(x, y, 200); });
    Surface box;
    ASSERT_TRUE(sim::decodeJpegFitted(dir / "wide.jpg", 68, 62, box));
    ASSERT_EQ(box.width, 68);
    ASSERT_EQ(box.height, 62);
    // 200 x 100 into 68 x 62: 68 x 34, rows 14 to 47.
    for (int x = 0; x < 68; ++x) {
        EXPECT_EQ(box.at(x, 0), black);
        EXPECT_EQ(box.at(x, 13), black);
        EXPECT_EQ(box.at(x, 48), black);
        EXPECT_EQ(box.at(x, 61), black);
    }
    EXPECT_TRUE(near(box.at(10, 30), 0xFFE00000));
    EXPECT_TRUE(near(box.at(57, 30), 0xFF0000E0));
    EXPECT_TRUE(near(box.at(0, 14), 0xFFE00000));
    EXPECT_TRUE(near(box.at(67, 47), 0xFF0000E0));
    for (uint32_t p : box.pixels)
        EXPECT_EQ(p >> 24, 0xFFu);
}

TEST_F(JpegTest, ATallPictureIsCentredBetweenBlackColumns)
{
    writeJpeg(dir / "tall.jpg", 80, 160, [](int, int y) { return y < 80 ? 0xFF00D000u : 0xFFD0D000u; });
    Surface box;
    ASSERT_TRUE(sim::decodeJpegFitted(dir / "tall.jpg", 166, 158, box));
    // 80 x 160 into 166 x 158: 79 x 158, columns 43 to 121.
    EXPECT_EQ(box.at(42, 80), black);
    EXPECT_EQ(box.at(122, 80), black);
    EXPECT_TRUE(near(box.at(43, 10), 0xFF00D000));
    EXPECT_TRUE(near(box.at(121, 150), 0xFFD0D000));
}

TEST_F(JpegTest, SmallPicturesAreEnlargedAndLargeOnesShrunk)
{
    writeJpeg(dir / "small.jpg", 10, 10, [](int, int) { return 0xFF30C060u; });
    writeJpeg(dir / "large.jpg", 1600, 800, [](int x, int y) { return redBlue(x, y, 1600); });
    Surface small, large;
    ASSERT_TRUE(sim::decodeJpegFitted(dir / "small.jpg", 68, 62, small));
    ASSERT_TRUE(sim::decodeJpegFitted(dir / "large.jpg", 68, 62, large));
    // 62 x 62 in the middle of 68.
    EXPECT_EQ(small.at(2, 31), black);
    EXPECT_EQ(small.at(65, 31), black);
    EXPECT_TRUE(near(small.at(3, 0), 0xFF30C060));
    EXPECT_TRUE(near(small.at(64, 61), 0xFF30C060));
    EXPECT_TRUE(near(large.at(5, 31), 0xFFE00000));
    EXPECT_TRUE(near(large.at(62, 31), 0xFF0000E0));
    EXPECT_EQ(large.at(30, 5), black);
}

TEST_F(JpegTest, GreyPicturesComeOutGrey)
{
    writeJpeg(
        dir / "grey.jpg", 32, 32, [](int, int) { return 0x90u; }, true);
    auto picture = sim::readJpeg(dir / "grey.jpg");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 32);
    EXPECT_TRUE(near(picture->at(16, 16), 0xFF909090, 3));
}

TEST_F(JpegTest, MissingAndBrokenFilesAreRefused)
{
    writeJpeg(dir / "good.jpg", 200, 200, [](int x, int y) { return 0xFF000000u | ((x * 7 + y * 13) & 0xFF) << 8; });
    std::ifstream in(dir / "good.jpg", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto write = [&](const char *name, const std::string &contents) {
        std::ofstream(dir / name, std::ios::binary) << contents;
        return dir / name;
    };
    Surface out;
    std::string error;
    EXPECT_FALSE(sim::decodeJpegFitted(dir / "none.jpg", 68, 62, out));
    EXPECT_FALSE(sim::readJpeg(dir / "none.jpg", &error));
    EXPECT_NE(error.find("none.jpg"), std::string::npos);
    EXPECT_FALSE(sim::decodeJpegFitted(write("empty.jpg", ""), 68, 62, out));
    EXPECT_FALSE(sim::decodeJpegFitted(write("text.jpg", "name = Anna\n"), 68, 62, out));
    EXPECT_FALSE(sim::decodeJpegFitted(write("header.jpg", bytes.substr(0, 40)), 68, 62, out));
    std::string noStart = bytes;
    noStart[1] = 0; // no start-of-image marker
    EXPECT_FALSE(sim::decodeJpegFitted(write("start.jpg", noStart), 68, 62, out));
    std::string noRows = bytes;
    size_t frame = noRows.find("\377\300");
    ASSERT_NE(frame, std::string::npos);
    noRows[frame + 5] = noRows[frame + 6] = 0; // a frame of height 0
    EXPECT_FALSE(sim::decodeJpegFitted(write("rows.jpg", noRows), 68, 62, out));
    EXPECT_FALSE(sim::decodeJpegFitted(dir, 68, 62, out)) << "a folder is no picture";
    EXPECT_FALSE(sim::decodeJpegFitted(dir / "good.jpg", 0, 62, out));
    // Cut inside the picture data: libjpeg shows what it has, as a receiver does.
    EXPECT_TRUE(sim::decodeJpegFitted(write("cut.jpg", bytes.substr(0, bytes.size() * 2 / 3)), 68, 62, out));
    EXPECT_EQ(out.width, 68);
}

TEST_F(JpegTest, TheDisplayDrawsThePictureIntoItsBoxOrLeavesTheBoxAlone)
{
    sim::Typesetter typesetter;
    sim::Firmware &fw = sim::firmware();
    fw.reset();
    sim::attachDrawing(fw.osd, typesetter);
    writeJpeg(dir / "anna.jpg", 166, 158, [](int, int) { return 0xFFC08040u; });
    int region = fw.osd.create(0, 0, 720, 576);
    ASSERT_GT(region, 0);
    EXPECT_EQ(fw.osd.drawJpeg(region, 39, 67, 68, 62, dir / "anna.jpg"), 0);
    const Surface *s = fw.osd.region(region);
    EXPECT_EQ(s->at(38, 90), 0u);
    EXPECT_EQ(s->at(107, 90), 0u);
    EXPECT_EQ(s->at(70, 66), 0u);
    EXPECT_EQ(s->at(70, 129), 0u);
    EXPECT_TRUE(near(s->at(73, 98), 0xFFC08040));
    // 166 x 158 into 68 x 62: 65 x 62, a black column and a half either side.
    EXPECT_EQ(s->at(39, 98), black);
    EXPECT_TRUE(near(s->at(41, 98), 0xFFC08040));

    std::vector<uint32_t> before = s->pixels;
    EXPECT_NE(fw.osd.drawJpeg(region, 300, 300, 68, 62, dir / "missing.jpg"), 0);
    EXPECT_EQ(s->pixels, before);
    fw.osd.remove(region);
}

} // namespace
