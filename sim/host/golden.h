// Golden pictures: a frame compared with tests/golden/<name>.png with a small
// tolerance. On a mismatch the frame and a diff picture (<name>_err.png) are
// written to the output folder; goldens are renewed only on request.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "osd.h"

namespace sim
{

struct GoldenSettings {
    std::filesystem::path goldenDir; // the checked-in pictures
    std::filesystem::path outputDir; // the frame and the diff picture of a mismatch
    bool update = false;             // write the frame as the new golden instead of comparing
    // A pixel differs when one of its channels differs by more than this;
    // the frame matches while at most maxDifferentPixels differ. Anti-aliasing
    // noise stays below; a bar or a text moved by a pixel does not.
    int channelTolerance = 16;
    size_t maxDifferentPixels = 64;
};

// RW_UPDATE_GOLDENS=1 in the environment.
bool updateGoldensRequested();

struct Difference {
    size_t pixels = 0; // beyond the tolerance
    int largest = 0;   // largest channel difference anywhere
    Surface picture;   // expected in pale grey, differing pixels red, small differences orange
};

// Both surfaces must have the same size.
Difference compareSurfaces(const Surface &expected, const Surface &actual, int channelTolerance);

// Nothing when the frame matches the golden (or the golden was renewed),
// else what is wrong, naming the files written.
std::optional<std::string> compareWithGolden(const Surface &frame, std::string name, const GoldenSettings &settings);

} // namespace sim
