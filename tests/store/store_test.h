// What the stored-data tests share: a freshly booted simulated receiver with
// the settings folder as the current disk folder, and ways to shape its heap.
#pragma once

#include <cstdint>
#include <string>

#include "firmware_fixture.h"

namespace store_test
{

class StoreTest : public test::FirmwareTest
{
  protected:
    void SetUp() override
    {
        FirmwareTest::SetUp();
        enterSettingsFolder();
    }

    // A file in the settings folder, where the program reads its files.
    void writeSettingsFile(const std::string &name, const std::string &contents)
    {
        writeFile(std::string(test::settingsFolder) + "/" + name, contents);
    }

    // A new heap whose largest free block, as TAP_MemInfo reports it, is
    // exactly `available` bytes.
    void heapWithAvailable(uint32_t available) { fw().heap.reset(available + sim::Heap::blockOverhead); }

    uint32_t available() { return fw().heap.largestFreeBlock(); }
    size_t liveBlocks() { return fw().heap.liveBlocks(); }
    size_t openFiles() { return fw().disk.openFiles(); }
};

} // namespace store_test
