// The simulated receiver a fuzz target runs the program's code on: booted
// once per process on a disk folder that goes at exit, with every drawing
// checked but not painted (nobody looks at the frames).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "firmware.h"
#include "temporaryReceiver.h"

namespace fuzz
{

using sim::settingsFolder;

// In memory: a disk and a network of byte queues, no host files or sockets.
inline void bootReceiver(bool inMemory = false)
{
    static const sim::TemporaryReceiver booted({.programFolders = true,
                                                .memoryDisk = inMemory,
                                                .transport = inMemory ? sim::Transport::Memory : sim::Transport::Tcp});
    sim::Firmware &fw = sim::firmware();
    fw.journalDrawing = false;
    fw.osd.setPixels(false);
}

} // namespace fuzz
