// Scenario scripts run with the PC front end on the real program file:
// screenshots show the program's text and pictures, goldens are renewed and
// then matched, and a different frame fails against them.
#include <gtest/gtest.h>

#include "firmware.h"
#include "frontend.h"
#include "pictures.h"
#include "pngFile.h"

namespace
{

namespace fs = std::filesystem;

constexpr const char *setup = R"(
file /ProgramFiles/Settings/Ringwatcher/ringwatcher.ini
StartupConnectDelay = 1
.
file /ProgramFiles/Settings/Ringwatcher/addrbook.dat
5550001 = Zuhause
0301234567 = Anna M\374ller, anna.jpg, Handy
.
start
wait 2s
)";

class ScenarioTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/rw-scenario-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root / "disk/PhotoFiles/Ringwatcher");
        test::writeJpeg(root / "disk/PhotoFiles/Ringwatcher/anna.jpg", 166, 158, [](int, int) { return 0xFFC08040u; });
        golden.goldenDir = root / "golden";
        golden.outputDir = root / "shots";
        options.program = RW_TAP_FILE;
        options.diskTemplate = root / "disk";
        options.screenshotDir = root / "shots";
        sim::attachDrawing(sim::firmware().osd, typesetter);
        sim::attachPictures(options, golden);
    }
    void TearDown() override { fs::remove_all(root); }

    sim::ScenarioResult run(const std::string &story)
    {
        sim::attachPictures(options, golden);
        return sim::runScenario(setup + story, options);
    }

    fs::path root;
    sim::Typesetter typesetter;
    sim::GoldenSettings golden;
    sim::ScenarioOptions options;
};

std::string failures(const sim::ScenarioResult &r)
{
    std::string out;
    for (const auto &f : r.failures)
        out += f + "\n";
    return out;
}

TEST_F(ScenarioTest, AScreenshotShowsTheProgramsTextAndPicture)
{
    auto result = run("ring 0 0301234567 5550001\nwait 50ms\nscreenshot ring\nstop\n");
    ASSERT_TRUE(result.passed) << failures(result);
    auto shot = sim::readPng(root / "shots/ring.png");
    ASSERT_TRUE(shot);
    ASSERT_EQ(shot->width, 720);
    ASSERT_EQ(shot->height, 576);
    // The caller's picture in its box at (39, 67), 68 x 62.
    uint32_t centre = shot->at(73, 98);
    EXPECT_NEAR(static_cast<int>((centre >> 16) & 0xFF), 0xC0, 12);
    EXPECT_NEAR(static_cast<int>((centre >> 8) & 0xFF), 0x80, 12);
    EXPECT_NEAR(static_cast<int>(centre & 0xFF), 0x40, 12);
    // The caller's name in white from x 156 at y 72.
    int white = 0;
    for (int y = 72; y < 72 + typesetter.lineHeight(1); ++y)
        for (int x = 156; x < 300; ++x)
            white += shot->at(x, y) == 0xFFFFFFFFu;
    EXPECT_GT(white, 20);
}

TEST_F(ScenarioTest, GoldensAreRenewedOnRequestThenMatched)
{
    const std::string story = "ring 0 0301234567 5550001\nwait 50ms\nexpect golden ring\nstop\n";
    auto missing = run(story);
    EXPECT_FALSE(missing.passed);
    EXPECT_NE(failures(missing).find("no golden picture"), std::string::npos) << failures(missing);

    golden.update = true;
    ASSERT_TRUE(run(story).passed);
    ASSERT_TRUE(fs::exists(root / "golden/ring.png"));
    golden.update = false;
    auto again = run(story);
    EXPECT_TRUE(again.passed) << failures(again);

    auto other = run("ring 0 0301234567 5550001\nwait 50ms\ndisconnect 0 125\nwait 50ms\nexpect golden ring\nstop\n");
    ASSERT_FALSE(other.passed);
    std::string why = failures(other);
    EXPECT_NE(why.find("line 15: "), std::string::npos) << why;
    EXPECT_NE(why.find("ring_err.png"), std::string::npos) << why;
    EXPECT_TRUE(fs::exists(root / "shots/ring_err.png"));
}

TEST_F(ScenarioTest, AFailedExpectationNamesItsLine)
{
    auto result = run("expect regions 0\nexpect print \"no such line\"\nstop\n");
    EXPECT_FALSE(result.passed);
    ASSERT_EQ(result.failures.size(), 1u) << failures(result);
    EXPECT_EQ(result.failures[0].rfind("line 12: ", 0), 0u) << result.failures[0];
}

} // namespace
