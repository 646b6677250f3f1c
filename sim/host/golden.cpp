#include "golden.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "pngFile.h"

namespace sim
{

namespace fs = std::filesystem;

namespace
{

int channelDifference(uint32_t a, uint32_t b)
{
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8)
        most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return most;
}

uint32_t pale(uint32_t p)
{
    uint32_t luma = (((p >> 16) & 0xFF) * 77 + ((p >> 8) & 0xFF) * 150 + (p & 0xFF) * 29) >> 8;
    uint32_t v = 160 + luma * 95 / 255;
    return 0xFF000000u | v << 16 | v << 8 | v;
}

// A golden name is a file name of its own: no folders, no way out of the
// golden folder.
bool validName(const std::string &name)
{
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

} // namespace

bool updateGoldensRequested()
{
    const char *v = std::getenv("RW_UPDATE_GOLDENS");
    return v && std::strcmp(v, "1") == 0;
}

Difference compareSurfaces(const Surface &expected, const Surface &actual, int channelTolerance)
{
    Difference d;
    d.picture = Surface{expected.width, expected.height, std::vector<uint32_t>(expected.pixels.size())};
    for (size_t i = 0; i < expected.pixels.size() && i < actual.pixels.size(); ++i) {
        int diff = channelDifference(expected.pixels[i], actual.pixels[i]);
        d.largest = std::max(d.largest, diff);
        if (diff > channelTolerance) {
            ++d.pixels;
            d.picture.pixels[i] = 0xFFFF0000u;
        } else if (diff > 0) {
            d.picture.pixels[i] = 0xFFFFA000u;
        } else {
            d.picture.pixels[i] = pale(expected.pixels[i]);
        }
    }
    return d;
}

std::optional<std::string> compareWithGolden(const Surface &frame, std::string name, const GoldenSettings &settings)
{
    if (name.size() > 4 && name.ends_with(".png"))
        name.resize(name.size() - 4);
    if (!validName(name))
        return "\"" + name + "\" is not a golden picture name (a file name without folders)";
    fs::path golden = settings.goldenDir / (name + ".png");
    fs::path actualFile = settings.outputDir / (name + ".png");
    fs::path errFile = settings.outputDir / (name + "_err.png");
    const std::string renew = "; renew goldens with RW_UPDATE_GOLDENS=1 or --update-goldens";
    std::string error;

    if (settings.update) {
        if (!writePng(frame, golden, &error))
            return "cannot renew the golden picture: " + error;
        return std::nullopt;
    }
    auto keepFrame = [&] {
        return writePng(frame, actualFile, &error) ? "; the frame is in " + actualFile.string() : std::string();
    };
    std::error_code ec;
    if (!fs::exists(golden, ec))
        return "no golden picture " + golden.string() + keepFrame() + renew;
    auto expected = readPng(golden, &error);
    if (!expected)
        return "cannot read the golden picture: " + error;
    if (expected->width != frame.width || expected->height != frame.height)
        return "the frame is " + std::to_string(frame.width) + " x " + std::to_string(frame.height) + ", the golden " +
               golden.string() + " is " + std::to_string(expected->width) + " x " + std::to_string(expected->height) +
               keepFrame() + renew;

    Difference d = compareSurfaces(*expected, frame, settings.channelTolerance);
    if (d.pixels <= settings.maxDifferentPixels) {
        fs::remove(errFile, ec); // a diff from an earlier failure would mislead
        return std::nullopt;
    }
    std::string where = keepFrame();
    if (writePng(d.picture, errFile, &error))
        where += ", the differences (red) in " + errFile.string();
    return "the frame differs from " + golden.string() + " in " + std::to_string(d.pixels) + " pixels (at most " +
           std::to_string(settings.maxDifferentPixels) + " may differ by more than " +
           std::to_string(settings.channelTolerance) + ")" + where + renew;
}

} // namespace sim
