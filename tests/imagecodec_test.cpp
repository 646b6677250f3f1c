// Packed-image codec: what imagepack packs must come back pixel for pixel, and
// packed data that is damaged in any way must be refused without harm.
#include "imageCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace
{

using Pixels = std::vector<uint16_t>;

constexpr uint16_t kNavy = 0x80E7; // opaque dark blue
constexpr uint16_t kWhite = 0xFFFF;
constexpr uint16_t kClear = 0x0000;

Pixels decoded(const std::vector<uint8_t> &packed, uint32_t width, uint32_t height)
{
    Pixels out;
    std::string error;
    EXPECT_TRUE(sim::decodeImage(packed, width, height, out, &error)) << error;
    return out;
}

void expectRoundTrip(const Pixels &pixels, uint32_t width, uint32_t height)
{
    const auto packed = sim::encodeImage(pixels, width, height);
    ASSERT_FALSE(packed.empty());
    EXPECT_EQ(decoded(packed, width, height), pixels) << width << "x" << height;
}

Pixels noise(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    Pixels pixels(count);
    for (auto &pixel : pixels) {
        pixel = static_cast<uint16_t>(random() | 0x8000);
    }
    return pixels;
}

// Like the status bar: rounded transparent corners, two flat bands, a rule,
// and an anti-aliased-looking diagonal of mixed colours across the bands.
Pixels barArt(uint32_t width, uint32_t height)
{
    Pixels pixels(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint16_t pixel = y < height / 2 ? kNavy : 0x8085;
            if (y == height / 2) {
                pixel = 0xAE18;
            }
            if ((x + y) % 37 == 0 || (x + y) % 37 == 1) {
                pixel = static_cast<uint16_t>(0x8000 | ((x * 7 + y) & 0x7FFF));
            }
            const bool corner = (x < 3 || x + 3 >= width) && (y < 3 || y + 3 >= height);
            pixels[size_t{y} * width + x] = corner ? kClear : pixel;
        }
    }
    return pixels;
}

std::vector<uint8_t> header(uint16_t width, uint16_t height)
{
    return {'R',
            'W',
            'I',
            '1',
            static_cast<uint8_t>(width),
            static_cast<uint8_t>(width >> 8),
            static_cast<uint8_t>(height),
            static_cast<uint8_t>(height >> 8)};
}

// Decodes data that must be refused; the output must not keep stale pixels.
std::string refusal(const std::vector<uint8_t> &packed, uint32_t width, uint32_t height)
{
    Pixels out(3, kWhite);
    std::string error;
    EXPECT_FALSE(sim::decodeImage(packed, width, height, out, &error));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(error.empty());
    return error;
}

TEST(ImageCodecRoundTrip, KindsOfArtComeBackExactly)
{
    const uint32_t w = 160;
    const uint32_t h = 40;
    expectRoundTrip(Pixels(size_t{w} * h, kNavy), w, h);
    expectRoundTrip(Pixels(size_t{w} * h, kClear), w, h);
    expectRoundTrip(barArt(w, h), w, h);
    expectRoundTrip(noise(size_t{w} * h, 7), w, h);

    Pixels horizontal(size_t{w} * h);
    Pixels vertical(size_t{w} * h);
    Pixels checker(size_t{w} * h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            horizontal[y * w + x] = static_cast<uint16_t>(0x8000 | (x / 5));
            vertical[y * w + x] = static_cast<uint16_t>(0x8000 | ((y / 2) << 5));
            checker[y * w + x] = (x + y) % 2 != 0 ? kWhite : kClear;
        }
    }
    expectRoundTrip(horizontal, w, h);
    expectRoundTrip(vertical, w, h);
    expectRoundTrip(checker, w, h);
}

TEST(ImageCodecRoundTrip, RunLengthsAroundEveryCountEncoding)
{
    // One-row images whose single run or literal stretch ends just below, at
    // and above each limit of the one-, two- and three-byte counts.
    for (uint32_t width : {1u, 2u, 61u, 62u, 63u, 64u, 317u, 318u, 319u, 320u, 4096u}) {
        expectRoundTrip(Pixels(width, kNavy), width, 1);
        expectRoundTrip(noise(width, width), width, 1);
        Pixels half = noise(width, width + 1);
        std::fill(half.begin() + width / 2, half.end(), kWhite);
        expectRoundTrip(half, width, 1);
    }
    // Runs longer than one op can carry are split, also across rows.
    expectRoundTrip(Pixels(4096u * 17, kWhite), 4096, 17);
    expectRoundTrip(noise(4096u * 17, 3), 4096, 17);
    expectRoundTrip(Pixels(4096u * 4096, kNavy), 4096, 4096);
}

TEST(ImageCodecRoundTrip, ExtremeShapes)
{
    expectRoundTrip({kWhite}, 1, 1);
    expectRoundTrip(noise(300, 11), 1, 300);
    expectRoundTrip(barArt(618, 500), 618, 500);
    expectRoundTrip(barArt(3, 3), 3, 3);
}

TEST(ImageCodecSize, FlatAndRepeatingArtPacksSmall)
{
    // The book background is 618x500; flat art must cost next to nothing.
    EXPECT_LE(sim::encodeImage(Pixels(618u * 500, kNavy), 618, 500).size(), 32u);
    const auto bar = sim::encodeImage(barArt(568, 84), 568, 84);
    EXPECT_LT(bar.size(), 568u * 84 * 2 / 8);
    // Noise cannot shrink, but must not grow by more than the op headers.
    const size_t pixels = 200u * 100;
    EXPECT_LE(sim::encodeImage(noise(pixels, 5), 200, 100).size(), sim::kPackedHeaderSize + pixels * 2 + pixels / 32);
}

TEST(ImageCodecEncode, RefusesSizesItCannotDescribe)
{
    EXPECT_TRUE(sim::encodeImage(Pixels(10, kWhite), 5, 3).empty());
    EXPECT_TRUE(sim::encodeImage(Pixels{}, 0, 0).empty());
    EXPECT_TRUE(sim::encodeImage(Pixels(4097, kWhite), 4097, 1).empty());
}

TEST(ImageCodecDecode, RefusesWrongSizes)
{
    const auto packed = sim::encodeImage(barArt(30, 25), 30, 25);
    EXPECT_NE(refusal(packed, 34, 25).find("30x25"), std::string::npos);
    refusal(packed, 30, 24);
    refusal(packed, 0, 25);
    refusal(packed, 30, 5000);
    // The header says 30x25 but the caller asks for a huge image: no attempt
    // to allocate it.
    refusal(packed, 65535, 65535);
}

TEST(ImageCodecDecode, RefusesBrokenHeaders)
{
    refusal({}, 1, 1);
    refusal({'R', 'W', 'I'}, 1, 1);
    auto packed = sim::encodeImage(Pixels{kWhite}, 1, 1);
    packed[3] = '2';
    refusal(packed, 1, 1);
}

TEST(ImageCodecDecode, RefusesEveryTruncationAndTrailingBytes)
{
    for (const auto &pixels : {barArt(40, 12), noise(40 * 12, 9), Pixels(40 * 12, kNavy)}) {
        const auto packed = sim::encodeImage(pixels, 40, 12);
        for (size_t length = 0; length < packed.size(); ++length) {
            refusal({packed.begin(), packed.begin() + static_cast<ptrdiff_t>(length)}, 40, 12);
        }
        auto longer = packed;
        longer.push_back(0);
        EXPECT_NE(refusal(longer, 40, 12).find("left over"), std::string::npos);
    }
}

TEST(ImageCodecDecode, RefusesOpsThatBreakTheImage)
{
    // 4x2 image = 8 pixels.
    auto overrun = header(4, 2);
    overrun.insert(overrun.end(), {0x40 | 8, 0xFF, 0xFF}); // fill of 9
    EXPECT_NE(refusal(overrun, 4, 2).find("overruns"), std::string::npos);

    auto wordOverrun = header(4, 2);
    wordOverrun.insert(wordOverrun.end(), {0x40 | 63, 0xFF, 0xFF, 0xFF, 0xFF});
    refusal(wordOverrun, 4, 2);

    auto aboveOnFirstRow = header(4, 2);
    aboveOnFirstRow.insert(aboveOnFirstRow.end(), {0x40 | 1, 0xFF, 0xFF, 0x80 | 5});
    EXPECT_NE(refusal(aboveOnFirstRow, 4, 2).find("first row"), std::string::npos);

    auto repeatFirst = header(4, 2);
    repeatFirst.insert(repeatFirst.end(), {0xC0 | 7});
    EXPECT_NE(refusal(repeatFirst, 4, 2).find("before the first pixel"), std::string::npos);

    auto shortLiteral = header(4, 2);
    shortLiteral.insert(shortLiteral.end(), {0x00 | 7, 1, 2, 3, 4, 5});
    refusal(shortLiteral, 4, 2);

    auto countCut = header(4, 2);
    countCut.insert(countCut.end(), {0x40 | 62});
    refusal(countCut, 4, 2);
}

TEST(ImageCodecDecode, HandMadeStreamUsesEveryOp)
{
    // 4x2: literal A B, fill C x2, copy row above x3, repeat last x1.
    auto packed = header(4, 2);
    packed.insert(packed.end(), {0x00 | 1, 0x01, 0x80, 0x02, 0x80, 0x40 | 1, 0x03, 0x80, 0x80 | 2, 0xC0 | 0});
    EXPECT_EQ(decoded(packed, 4, 2), (Pixels{0x8001, 0x8002, 0x8003, 0x8003, 0x8001, 0x8002, 0x8003, 0x8003}));
}

TEST(ImageCodecDecode, StopsAfterTheLastPixelWhenAskedHowMuchItUsed)
{
    // The firmware has only a pointer to the packed data, so the simulator
    // decodes from a window that may reach past the image's own bytes.
    const Pixels pixels = barArt(40, 12);
    const auto packed = sim::encodeImage(pixels, 40, 12);
    auto window = packed;
    window.insert(window.end(), {0xC0, 0x40, 0xFF, 0x00});
    Pixels out;
    size_t used = 0;
    ASSERT_TRUE(sim::decodeImage(window, 40, 12, out, nullptr, &used));
    EXPECT_EQ(used, packed.size());
    EXPECT_EQ(out, pixels);
    // Running out of data is still a fault in that mode.
    out.clear();
    EXPECT_FALSE(sim::decodeImage({packed.data(), packed.size() - 1}, 40, 12, out, nullptr, &used));
    EXPECT_TRUE(out.empty());
}

TEST(ImageCodecDecode, LargestValidStreamFitsTheWorstCaseBound)
{
    // One three-byte fill per pixel is the most a valid image can take.
    const uint32_t w = 7;
    const uint32_t h = 5;
    auto packed = header(w, h);
    for (uint32_t i = 0; i < w * h; ++i) {
        packed.insert(packed.end(), {0x40, static_cast<uint8_t>(i), 0x80});
    }
    EXPECT_EQ(packed.size(), sim::maxPackedSize(w, h));
    const Pixels out = decoded(packed, w, h);
    ASSERT_EQ(out.size(), size_t{w} * h);
    EXPECT_EQ(out.back(), 0x8000 | (w * h - 1));
    for (const auto &pixels : {noise(size_t{w} * h, 4), barArt(w, h)}) {
        EXPECT_LE(sim::encodeImage(pixels, w, h).size(), sim::maxPackedSize(w, h));
    }
}

TEST(ImageCodecDecode, GarbageNeverYieldsAWrongSizedImage)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 3000; ++round) {
        const auto width = static_cast<uint16_t>(1 + random() % 20);
        const auto height = static_cast<uint16_t>(1 + random() % 20);
        auto packed = header(width, height);
        const size_t extra = random() % 64;
        for (size_t i = 0; i < extra; ++i) {
            packed.push_back(static_cast<uint8_t>(random()));
        }
        Pixels out;
        if (sim::decodeImage(packed, width, height, out)) {
            EXPECT_EQ(out.size(), size_t{width} * height);
        } else {
            EXPECT_TRUE(out.empty());
        }
    }
}

TEST(ImageCodecColour, AlphaThresholdAndTransparentBlack)
{
    EXPECT_EQ(sim::argbTo1555(0xFFFFFFFF), 0xFFFF);
    EXPECT_EQ(sim::argbTo1555(0x80000000), 0x8000);
    EXPECT_EQ(sim::argbTo1555(0x7FFFFFFF), 0x0000);
    EXPECT_EQ(sim::argbTo1555(0x00123456), 0x0000);
    EXPECT_EQ(sim::argbTo1555(0xFFFF0000), 0xFC00);
    EXPECT_EQ(sim::argbTo1555(0xFF00FF00), 0x83E0);
    EXPECT_EQ(sim::argbTo1555(0xFF0000FF), 0x801F);
}

TEST(ImageCodecColour, ChannelsRoundToTheNearestStep)
{
    EXPECT_EQ(sim::argbTo1555(0xFF040404), 0x8000);
    EXPECT_EQ(sim::argbTo1555(0xFF050505), 0x8421);
    EXPECT_EQ(sim::argbTo1555(0xFFFBFBFB), 0xFFFF);
    EXPECT_EQ(sim::argb1555ToArgb(0xFC00), 0xFFFF0000u);
    EXPECT_EQ(sim::argb1555ToArgb(0x8421), 0xFF080808u);
    EXPECT_EQ(sim::argb1555ToArgb(0x7FFF), 0x00FFFFFFu);
}

TEST(ImageCodecColour, EveryOpaquePixelSurvivesWidening)
{
    for (uint32_t pixel = 0x8000; pixel <= 0xFFFF; ++pixel) {
        ASSERT_EQ(sim::argbTo1555(sim::argb1555ToArgb(static_cast<uint16_t>(pixel))), pixel);
    }
}

} // namespace
