// A freshly booted simulated receiver for tests that link the program's code
// directly. Each test runs in a process of its own, so the program's module
// state is fresh too.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "firmware.h"
#include "loader.h"
#include "network.h"
#include "receiver.h"
#include "temporaryReceiver.h"

// Present when the test links the program's code, absent when it loads
// the program file instead.
extern "C" int __TAP_Init_(void *record) __attribute__((weak));

namespace test
{

using sim::photoFolder;
using sim::settingsFolder;

class FirmwareTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    sim::Firmware &fw() { return sim::firmware(); }
    sim::Journal &journal() { return sim::firmware().journal; }
    std::vector<std::string> prints() { return sim::firmware().journal.prints(); }

    // A file on the receiver's disk, folders created as needed.
    void writeFile(const std::string &receiverPath, const std::string &contents);
    void writeSettings(const std::string &contents);    // ringwatcher.ini
    void writeAddressBook(const std::string &contents); // addrbook.dat
    // Makes the settings folder the current one, as start-up does.
    void enterSettingsFolder();

    // Registers and starts the program linked into the test (TAP_Main).
    sim::Receiver &startProgram();
    // Loads the program file as the receiver's loader does and starts it.
    sim::Receiver &startProgramFile(const std::filesystem::path &file);
    sim::Receiver &receiver() { return *receiver_; }
    // Advance virtual time with one idle event per tick.
    void runTicks(uint32_t ticks);

    // Every heap block, file and region the program still holds.
    std::vector<std::string> leaks() const;

    std::filesystem::path diskRoot;
    // How SetUp boots the receiver; a test may change it before.
    sim::BootOptions boot{.programFolders = true};

  private:
    std::unique_ptr<sim::TemporaryReceiver> booted_;
    std::unique_ptr<sim::Receiver> receiver_;
};

// Calls into the program's code outside an event (tests calling module
// functions directly) are the program's for the simulated network too.
using ProgramCall = sim::ProgramCall;

} // namespace test
