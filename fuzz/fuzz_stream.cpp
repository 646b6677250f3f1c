// Arbitrary router bytes through the parser, the line handler, the status
// window and the caller list, as the idle handler delivers them. The first
// two bytes choose the read size and the settings; the rest is the stream.
// After each input everything is unloaded and must leave nothing behind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "firmware.h"
#include "fuzz_receiver.h"

#include "events/fritzbox.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "store/callerlist.h"

namespace
{

using fuzz::settingsFolder;

void bootReceiver()
{
    fuzz::bootReceiver();
    sim::Firmware &fw = sim::firmware();
    fw.disk.writeFile(std::string(settingsFolder) + "/addrbook.dat",
                      "# looked up, never listed\n"
                      "0301234567 = Anna M\374ller, anna.jpg, Schwester\n"
                      "5550001 = B\374ro\n"
                      "0309876543 = Bernd, , Kollege\n"
                      " = Niemand\n");
}

// A line filtered out by the MSN setting puts a slot back to idle, so every
// input starts from the same line table.
void idleAllSlots()
{
    setMSNs("-");
    for (int id = 0; id < 2 * LINE_SLOTS; id += 2) {
        std::string line = "x;RING;" + std::to_string(id) + ";;+;\n";
        handleData(line.c_str(), &FritzBoxMonitor);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool booted = false;
    if (!booted) {
        bootReceiver();
        booted = true;
    }
    if (size < 2)
        return 0;
    sim::Firmware &fw = sim::firmware();
    fw.journal.clear();

    fw.disk.changeFolder(settingsFolder);
    if (loadAddressBook("addrbook.dat") != ADRBOOK_OK)
        std::abort();
    idleAllSlots();
    // As TAP_Main prepares the record; the buffers start empty as at load.
    FritzBoxMonitor = MonitorState{};
    FritzBoxMonitor.displayCallback = displayFBMessage;

    const size_t chunk = data[0] % 128 + 1;
    setNumberingType(data[1] & 1);
    setAreaCode(data[1] & 2 ? "030" : "");
    setMSNs(data[1] & 4 ? "5550001 5550002" : "");
    data += 2;
    size -= 2;

    char buffer[129];
    for (size_t at = 0; at < size; at += chunk) {
        size_t n = size - at < chunk ? size - at : chunk;
        for (size_t i = 0; i < n; ++i)
            buffer[i] = static_cast<char>(data[at + i]);
        buffer[n] = 0;
        handleData(buffer, &FritzBoxMonitor);
        fw.clock.advance(1);
    }

    // What the stop event does with the status window and the two lists.
    if (statusWindow != -1)
        removeStatusWindow();
    unloadAddressBook();
    unloadCallerList();
    auto leaks = fw.leakReport();
    if (!leaks.empty()) {
        for (const std::string &line : leaks)
            std::fprintf(stderr, "leak: %s\n", line.c_str());
        std::abort();
    }
    return 0;
}
