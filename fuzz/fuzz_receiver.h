// The simulated receiver a fuzz target runs the program's code on: booted
// once per process on a disk folder that goes at exit, with every drawing
// checked but not painted (nobody looks at the frames).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "firmware.h"

namespace fuzz
{

inline constexpr const char *settingsFolder = "/ProgramFiles/Settings/Ringwatcher";

inline std::filesystem::path &diskRoot()
{
    static std::filesystem::path root;
    return root;
}

inline void bootReceiver()
{
    sim::pinTimeZone("UTC");
    char pattern[] = "/tmp/rw-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        std::abort();
    diskRoot() = pattern;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(diskRoot(), ec);
    });
    sim::Firmware &fw = sim::firmware();
    fw.reset();
    fw.disk.setRoot(diskRoot());
    fw.journalDrawing = false;
    fw.osd.setPixels(false);
    std::filesystem::create_directories(diskRoot() / "ProgramFiles/Settings/Ringwatcher");
}

} // namespace fuzz
