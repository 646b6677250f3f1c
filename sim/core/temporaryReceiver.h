// A freshly booted receiver on a disk folder of its own: the firmware and the
// network back to their boot state, the time zone pinned, the disk made (empty,
// or a copy of a template) and removed again when the object goes; or on a
// disk in memory, which goes with the next boot.
#pragma once

#include <cstdint>
#include <filesystem>

#include "heap.h"
#include "network.h"

namespace sim
{

struct BootOptions {
    // Copied into the fresh disk; empty: the disk starts empty.
    std::filesystem::path diskTemplate;
    // Used as the disk itself, neither copied nor removed (live mode on a
    // folder the user keeps); empty: a temporary folder.
    std::filesystem::path disk;
    // Pinned for reproducible times; nullptr keeps the machine's zone.
    const char *timeZone = "UTC";
    uint32_t heapSize = Heap::defaultSize;
    // Make the program's settings and photo folders on the disk.
    bool programFolders = false;
    // A disk in memory instead of a folder (`diskTemplate` and `disk` unused).
    bool memoryDisk = false;
    Transport transport = Transport::Tcp;
};

class TemporaryReceiver
{
  public:
    // Throws std::runtime_error when the disk folder cannot be made.
    explicit TemporaryReceiver(const BootOptions &options = {});
    ~TemporaryReceiver();
    TemporaryReceiver(const TemporaryReceiver &) = delete;
    TemporaryReceiver &operator=(const TemporaryReceiver &) = delete;

    const std::filesystem::path &diskRoot() const { return root_; }

  private:
    std::filesystem::path root_;
    bool owned_ = false;
};

inline constexpr const char *settingsFolder = "/ProgramFiles/Settings/Ringwatcher";
inline constexpr const char *photoFolder = "/PhotoFiles/Ringwatcher";

} // namespace sim
