// The simulated receiver firmware: one instance of each concern (heap, disk,
// clock, display, journal, receiver state), reached through firmware(). The
// program's TAP_* operations (firmwareTable.cpp) work on this instance.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>

#include "clock.h"
#include "disk.h"
#include "heap.h"
#include "journal.h"
#include "osd.h"

namespace sim
{

struct ReceiverState {
    uint32_t state = 0;
    uint32_t subState = 0x1F; // normal viewing
    int exitNormalCalls = 0;
    int enterNormalCalls = 0;
    bool exitRequested = false; // the program called TAP_Exit
};

struct Firmware {
    Journal journal;
    Heap heap;
    Disk disk;
    Clock clock;
    Osd osd;
    ReceiverState receiver;
    bool journalDrawing = true; // PutGd/PutS/DrawJpeg calls in the journal

    // Back to a freshly booted receiver; the disk root stays.
    void reset(uint32_t heapSize = Heap::defaultSize);
    // Everything the program left behind: heap blocks, open files, regions,
    // sockets.
    std::vector<std::string> leakReport() const;
};

Firmware &firmware();

// A fixed start for virtual time: 8 December 2026, 18:30:00 local time.
constexpr std::time_t defaultWallStart = 1796754600;

// The receiver's time zone is pinned wherever results are compared.
void pinTimeZone(const char *zone = "UTC");

} // namespace sim
