// Golden comparison: an identical frame or noise within the tolerance passes,
// a moved bar fails and leaves the frame and a diff picture, a missing golden
// is reported, and goldens change only on request.
#include <gtest/gtest.h>

#include <cstdlib>

#include "golden.h"
#include "pngFile.h"

namespace
{

namespace fs = std::filesystem;
using sim::Surface;

// The test picture with a bar like the status window's at (x, y).
Surface frameWithBar(int x, int y)
{
    Surface s = sim::Osd::testPicture();
    for (int row = y; row < y + 84; ++row)
        for (int col = x; col < x + 568; ++col)
            s.at(col, row) = (row - y) % 20 < 2 ? 0xFF6080C0 : 0xFF203050;
    return s;
}

class GoldenTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/rw-golden-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        settings.goldenDir = root / "golden";
        settings.outputDir = root / "out";
    }
    void TearDown() override { fs::remove_all(root); }

    void makeGolden(const Surface &frame, const std::string &name)
    {
        sim::GoldenSettings renew = settings;
        renew.update = true;
        ASSERT_EQ(sim::compareWithGolden(frame, name, renew), std::nullopt);
    }

    fs::path root;
    sim::GoldenSettings settings;
};

TEST_F(GoldenTest, RenewingWritesTheGoldenAndAnIdenticalFramePasses)
{
    Surface frame = frameWithBar(30, 56);
    EXPECT_FALSE(fs::exists(settings.goldenDir / "ring.png"));
    makeGolden(frame, "ring");
    auto golden = sim::readPng(settings.goldenDir / "ring.png");
    ASSERT_TRUE(golden);
    EXPECT_EQ(golden->pixels, frame.pixels);
    EXPECT_EQ(sim::compareWithGolden(frame, "ring", settings), std::nullopt);
    EXPECT_EQ(sim::compareWithGolden(frame, "ring.png", settings), std::nullopt) << "the extension may be given";
    EXPECT_FALSE(fs::exists(settings.outputDir / "ring_err.png"));
}

TEST_F(GoldenTest, NoiseWithinTheToleranceStillMatches)
{
    Surface frame = frameWithBar(30, 56);
    makeGolden(frame, "ring");
    Surface noisy = frame;
    // Every pixel off by a little, as anti-aliasing may be.
    for (size_t i = 0; i < noisy.pixels.size(); ++i) {
        int delta = static_cast<int>(i % 7) - 3;
        uint32_t blue = static_cast<uint32_t>(std::clamp(static_cast<int>(noisy.pixels[i] & 0xFF) + delta * 5, 0, 255));
        noisy.pixels[i] = (noisy.pixels[i] & 0xFFFFFF00u) | blue;
    }
    // And a few pixels off by a lot.
    for (size_t i = 0; i < settings.maxDifferentPixels; ++i)
        noisy.pixels[i * 977] ^= 0x00FFFFFF;
    EXPECT_EQ(sim::compareWithGolden(noisy, "ring", settings), std::nullopt);

    noisy.pixels[5] ^= 0x00FFFFFF; // one more than allowed
    EXPECT_NE(sim::compareWithGolden(noisy, "ring", settings), std::nullopt);
}

TEST_F(GoldenTest, AMovedBarFailsAndLeavesTheFrameAndADiffPicture)
{
    makeGolden(frameWithBar(30, 56), "ring");
    Surface moved = frameWithBar(33, 56);
    auto problem = sim::compareWithGolden(moved, "ring", settings);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("ring_err.png"), std::string::npos) << *problem;
    EXPECT_NE(problem->find("RW_UPDATE_GOLDENS=1"), std::string::npos) << *problem;

    auto kept = sim::readPng(settings.outputDir / "ring.png");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->pixels, moved.pixels);
    auto diff = sim::readPng(settings.outputDir / "ring_err.png");
    ASSERT_TRUE(diff);
    // The left edge moved: red there, pale grey where nothing changed.
    EXPECT_EQ(diff->at(31, 60), 0xFFFF0000u);
    EXPECT_EQ(diff->at(598, 60), 0xFFFF0000u);
    uint32_t calm = diff->at(300, 300);
    EXPECT_EQ((calm >> 16) & 0xFF, calm & 0xFF);
    EXPECT_GE(calm & 0xFF, 160u);

    // The golden itself is untouched, and a later match clears the diff.
    EXPECT_EQ(sim::readPng(settings.goldenDir / "ring.png")->pixels, frameWithBar(30, 56).pixels);
    EXPECT_EQ(sim::compareWithGolden(frameWithBar(30, 56), "ring", settings), std::nullopt);
    EXPECT_FALSE(fs::exists(settings.outputDir / "ring_err.png"));
}

TEST_F(GoldenTest, AMissingGoldenFailsWithTheFrameKept)
{
    auto problem = sim::compareWithGolden(frameWithBar(30, 56), "error", settings);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("no golden picture"), std::string::npos) << *problem;
    EXPECT_TRUE(fs::exists(settings.outputDir / "error.png"));
    EXPECT_FALSE(fs::exists(settings.goldenDir / "error.png"));
}

TEST_F(GoldenTest, ADifferentSizeOrABadNameFails)
{
    makeGolden(frameWithBar(30, 56), "ring");
    Surface small{100, 100, std::vector<uint32_t>(100 * 100, 0xFF000000)};
    EXPECT_NE(sim::compareWithGolden(small, "ring", settings), std::nullopt);
    for (const char *name : {"", "../ring", "sub/ring", ".hidden"}) {
        sim::GoldenSettings renew = settings;
        renew.update = true;
        EXPECT_NE(sim::compareWithGolden(frameWithBar(30, 56), name, renew), std::nullopt) << name;
    }
    EXPECT_FALSE(fs::exists(root / "ring.png"));
}

TEST_F(GoldenTest, TheEnvironmentSwitchMustSayOne)
{
    unsetenv("RW_UPDATE_GOLDENS");
    EXPECT_FALSE(sim::updateGoldensRequested());
    setenv("RW_UPDATE_GOLDENS", "0", 1);
    EXPECT_FALSE(sim::updateGoldensRequested());
    setenv("RW_UPDATE_GOLDENS", "1", 1);
    EXPECT_TRUE(sim::updateGoldensRequested());
    unsetenv("RW_UPDATE_GOLDENS");
}

} // namespace
