// The PC typesetter as TAP_Osd_PutS: where the ink lands for each alignment,
// the ellipsis and clipping at the right limit, line heights against the
// program's layouts, background fill and alpha blending.
#include <gtest/gtest.h>

#include <optional>

#include "typesetter.h"

namespace
{

using sim::Surface;
using sim::TextStyle;

constexpr uint32_t white = 0xFFFFFFFF;
constexpr uint32_t paper = 0x80123456; // a half-transparent region colour to draw on

struct Ink {
    int left = INT32_MAX, right = -1, top = INT32_MAX, bottom = -1;
    int pixels = 0;
    bool any() const { return pixels > 0; }
};

// The bounding box of every pixel that differs from the background.
Ink inkOf(const Surface &s, uint32_t background)
{
    Ink ink;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            if (s.at(x, y) != background) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ++ink.pixels;
            }
    return ink;
}

Surface blank(uint32_t color = 0, int w = 720, int h = 120)
{
    return Surface{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, color)};
}

TextStyle style(uint8_t size, bool dot, uint8_t align, uint32_t color = white, uint32_t background = 0)
{
    return TextStyle{color, background, 0, size, dot, align};
}

class TextTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { typesetter.emplace(); }
    static void TearDownTestSuite() { typesetter.reset(); }
    static std::optional<sim::Typesetter> typesetter;
    const sim::Typesetter &ts() { return *typesetter; }
};
std::optional<sim::Typesetter> TextTest::typesetter;

TEST_F(TextTest, AlignmentPlacesTheTextBetweenXAndTheLimit)
{
    const int x = 100, maxX = 400;
    int width = ts().width("Anna M\374ller", 1);
    ASSERT_GT(width, 40);
    ASSERT_LT(width, maxX - x);

    Surface left = blank(), centre = blank(), right = blank();
    ts().draw(left, x, 10, maxX, "Anna M\374ller", style(1, false, 0));
    ts().draw(centre, x, 10, maxX, "Anna M\374ller", style(1, false, 1));
    ts().draw(right, x, 10, maxX, "Anna M\374ller", style(1, false, 2));
    Ink l = inkOf(left, 0), c = inkOf(centre, 0), r = inkOf(right, 0);

    // Side bearings are a pixel or two.
    EXPECT_NEAR(l.left, x, 2);
    EXPECT_NEAR(r.right, maxX - 1, 3);
    EXPECT_NEAR((c.left + c.right) / 2.0, (x + maxX) / 2.0, 2.5);
    // The same text, only moved.
    EXPECT_EQ(l.right - l.left, c.right - c.left);
    EXPECT_EQ(l.right - l.left, r.right - r.left);
    EXPECT_EQ(l.pixels, r.pixels);
}

TEST_F(TextTest, AnUnknownAlignmentSetsTheTextAtTheLeft)
{
    Surface a = blank(), b = blank();
    ts().draw(a, 50, 0, 500, "Telefonbuch", style(1, false, 0));
    ts().draw(b, 50, 0, 500, "Telefonbuch", style(1, false, 7));
    EXPECT_EQ(a.pixels, b.pixels);
}

TEST_F(TextTest, DotFlagEndsATooWideTextInAnEllipsisThatNeverPassesTheLimit)
{
    const std::string text = "Eingehender Anruf f\374r Gro\337mutter und Gro\337vater Schmidt";
    const int full = ts().width(text, 1);
    for (int room = 0; room <= full + 5; ++room) {
        std::u32string fitted = ts().fitted(text, 1, room);
        bool ellipsis = !fitted.empty() && fitted.back() == U'\u2026';
        int width = ts().width(fitted, 1);
        if (room >= full) {
            EXPECT_FALSE(ellipsis) << room;
            EXPECT_EQ(fitted.size(), text.size()) << room;
        } else if (!fitted.empty()) {
            EXPECT_TRUE(ellipsis) << room;
            EXPECT_LE(width, room) << room;
        }
    }

    for (uint8_t align : {0, 1, 2}) {
        for (int room : {9, 40, 160, 290}) {
            Surface s = blank();
            ts().draw(s, 30, 20, 30 + room, text, style(1, true, align));
            Ink ink = inkOf(s, 0);
            EXPECT_LT(ink.right, 30 + room) << "align " << int(align) << " room " << room;
            if (room >= 40) {
                ASSERT_TRUE(ink.any());
                EXPECT_GE(ink.left, 30);
                // Cut as late as the room allows: the ellipsis ends near the limit.
                EXPECT_GT(ink.right, 30 + room - 14) << "align " << int(align) << " room " << room;
            }
        }
    }
}

TEST_F(TextTest, WithoutTheDotFlagATooWideTextIsCutOffAtTheLimit)
{
    const std::string text = "Verbindung auf Leitung 3 beendet, ein sehr langer Text";
    Surface wide = blank(), cut = blank();
    ts().draw(wide, 20, 0, 700, text, style(1, false, 0));
    ts().draw(cut, 20, 0, 120, text, style(1, false, 1)); // centred, but too wide: starts at x
    Ink w = inkOf(wide, 0), c = inkOf(cut, 0);
    EXPECT_LT(c.right, 120);
    EXPECT_GE(c.right, 116);
    // The visible part is exactly the start of the uncut text.
    for (int y = 0; y < wide.height; ++y)
        for (int x = 0; x < 120; ++x)
            ASSERT_EQ(cut.at(x, y), wide.at(x, y)) << x << "," << y;
    EXPECT_GT(w.right, 300);
}

TEST_F(TextTest, LinesFitTheLayoutsRowsAndColumns)
{
    // Tall and deep glyphs, umlauts on capitals.
    const std::string tall = "\304\326\334 gjpqy|\311";
    for (uint8_t size : {0, 1}) {
        int height = ts().lineHeight(size);
        EXPECT_LE(height, 30) << "the book's rows are 30 pixels apart";
        Surface s = blank(0, 720, 200);
        // Two rows 30 pixels apart never share a pixel row.
        ts().draw(s, 10, 40, 700, tall, style(size, false, 0));
        Ink first = inkOf(s, 0);
        ASSERT_TRUE(first.any());
        EXPECT_GE(first.top, 40) << int(size);
        EXPECT_LT(first.bottom, 40 + height) << int(size);
        EXPECT_LT(first.bottom, 70) << int(size);
        // Most of the box is used: the text is not lost in a tiny corner.
        EXPECT_GE(first.bottom - first.top, height / 2);
    }
    // The tab captions sit on a 25-pixel header at y 48 with text at y 50.
    EXPECT_LE(50 + ts().lineHeight(0), 48 + 25);
    // Column widths of the layouts.
    EXPECT_LE(ts().width("24.12.2009 18:30", 1), 228 - 102);
    EXPECT_LE(ts().width("00:02:05", 1), 490 - 425);
    EXPECT_LE(ts().width("Telefonbuch", 0), 306 - 200);
    EXPECT_LE(ts().width("Anrufliste", 0), 192 - 80);
}

TEST_F(TextTest, BackgroundZeroLeavesEverythingButTheGlyphs)
{
    Surface s = blank(paper);
    ts().draw(s, 100, 30, 400, "Mama", style(1, false, 0, white, 0));
    Ink ink = inkOf(s, paper);
    ASSERT_TRUE(ink.any());
    // Far fewer pixels than the box: only the letters changed.
    EXPECT_LT(ink.pixels, 300 * ts().lineHeight(1) / 3);
    EXPECT_EQ(s.at(399, 30), paper);
    EXPECT_EQ(s.at(100, 30 + ts().lineHeight(1) - 1), paper);
}

TEST_F(TextTest, ABackgroundColourFillsTheTextBoxOnly)
{
    const uint32_t blue = 0xFF0000C0;
    Surface s = blank(paper);
    ts().draw(s, 100, 30, 400, "Mama", style(1, false, 0, white, blue));
    int height = ts().lineHeight(1);
    Ink ink = inkOf(s, paper);
    EXPECT_EQ(ink.left, 100);
    EXPECT_EQ(ink.right, 399);
    EXPECT_EQ(ink.top, 30);
    EXPECT_EQ(ink.bottom, 30 + height - 1);
    EXPECT_EQ(s.at(399, 30), blue);
    EXPECT_EQ(s.at(100, 30 + height - 1), blue);
}

TEST_F(TextTest, GlyphsAreBlendedWithTheColoursAlpha)
{
    Surface opaque = blank(0), half = blank(0), onGreen = blank(0xFF00FF00);
    ts().draw(opaque, 10, 10, 300, "Hallo", style(1, false, 0, 0xFFFFFFFF));
    ts().draw(half, 10, 10, 300, "Hallo", style(1, false, 0, 0x80FFFFFF));
    ts().draw(onGreen, 10, 10, 300, "Hallo", style(1, false, 0, 0xFFFF0000));
    uint32_t mostOpaque = 0, mostHalf = 0;
    bool antiAliased = false;
    for (size_t i = 0; i < opaque.pixels.size(); ++i) {
        uint32_t a = opaque.pixels[i] >> 24, h = half.pixels[i] >> 24;
        mostOpaque = std::max(mostOpaque, a);
        mostHalf = std::max(mostHalf, h);
        antiAliased = antiAliased || (a > 0 && a < 255);
        // Where a glyph covers partly, red mixes with the green below.
        uint32_t g = onGreen.pixels[i];
        if (a > 0 && a < 255) {
            EXPECT_GT((g >> 16) & 0xFF, 0u);
            EXPECT_GT((g >> 8) & 0xFF, 0u);
            EXPECT_EQ(g >> 24, 0xFFu);
        }
    }
    EXPECT_EQ(mostOpaque, 255u);
    EXPECT_NEAR(static_cast<int>(mostHalf), 128, 1);
    EXPECT_TRUE(antiAliased);
}

TEST_F(TextTest, Latin1BytesAreTheirOwnCodePointsAndControlsTakeNoRoom)
{
    Surface a = blank(), umlaut = blank();
    ts().draw(a, 10, 10, 300, "a", style(1, false, 0));
    ts().draw(umlaut, 10, 10, 300, "\344", style(1, false, 0));
    Ink plain = inkOf(a, 0), dotted = inkOf(umlaut, 0);
    ASSERT_TRUE(dotted.any());
    EXPECT_LT(dotted.top, plain.top) << "the dots of \344 stand above the a";
    EXPECT_EQ(ts().width("a\001\tb\200\237c", 1), ts().width("abc", 1));
    EXPECT_EQ(ts().width("\337", 1), ts().width("\337", 1));
    EXPECT_GT(ts().width("\337", 1), 0);
}

TEST_F(TextTest, NothingIsDrawnOutsideTheSurfaceOrAnEmptyBox)
{
    Surface s = blank(0, 100, 40);
    ts().draw(s, -30, -8, 60, "Randfall", style(1, false, 0, white, 0xFF202020));
    ts().draw(s, 80, 30, 400, "Randfall", style(0, true, 2));
    ts().draw(s, 500, 500, 900, "weit weg", style(1, false, 0));
    Surface untouched = blank(0, 100, 40);
    ts().draw(untouched, 50, 5, 50, "leer", style(1, true, 0, white, 0xFF202020));
    ts().draw(untouched, 50, 5, 20, "leer", style(1, true, 0, white, 0xFF202020));
    EXPECT_FALSE(inkOf(untouched, 0).any());
    // The clipped box was filled from the surface's corner.
    EXPECT_EQ(s.at(0, 0), 0xFF202020u);
}

TEST_F(TextTest, AMissingFontFileIsAClearError)
{
    std::vector<sim::FontSetting> fonts = {{"/nonexistent/font.ttf", 15, 19}};
    try {
        sim::Typesetter broken(fonts);
        FAIL() << "a missing font was accepted";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/font.ttf"), std::string::npos);
    }
}

} // namespace
