// Arbitrary file bytes through the property reader, the address book and the
// settings loader, as the receiver's disk would hand them over. The first
// byte chooses a heap allocation of the address-book load that fails; the
// rest is the file. After each input everything is unloaded and must leave
// nothing behind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "firmware.h"
#include "fuzz_receiver.h"

#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "store/properties.h"

namespace
{

using fuzz::settingsFolder;
const char *const fileName = "fuzz.dat";

void bootReceiver()
{
    fuzz::bootReceiver();
}

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool terminatedWithin(const char *text, size_t size)
{
    return std::memchr(text, 0, size) != nullptr;
}

// Every pair fits its buffer, the result is a known code, and the reader
// comes to the end: each property takes at least one byte of the file.
void readProperties(size_t fileSize)
{
    PropertyFileHandle *handle = openPropertyFile(fileName);
    check(handle != nullptr, "the reader could not open the file");
    for (size_t calls = 0;; ++calls) {
        check(calls <= fileSize, "the reader does not come to the end");
        char name[PROP_NAME_SIZE + 1];
        char value[PROP_VALUE_SIZE + 1];
        name[PROP_NAME_SIZE] = 'Z';
        value[PROP_VALUE_SIZE] = 'Z';
        int result = getNextProperty(name, value, handle);
        check(name[PROP_NAME_SIZE] == 'Z' && value[PROP_VALUE_SIZE] == 'Z', "buffer overrun");
        check(result >= PROP_EOF && result <= PROP_SYNTAX_ERROR, "unknown result");
        if (result == PROP_EOF)
            break;
        check(terminatedWithin(name, PROP_NAME_SIZE) && terminatedWithin(value, PROP_VALUE_SIZE),
              "unterminated name or value");
    }
    closePropertyFile(handle);
}

void lookUp(const char *number)
{
    char field[33 + 1]; // the router's fields hold 32 characters
    std::strncpy(field, number, 32);
    field[32] = '\0';
    field[33] = 'Z';
    char name[64 + 1], picture[32 + 1], info[32 + 1];
    name[64] = picture[32] = info[32] = 'Z';
    findName(field, name, picture, info);
    check(field[33] == 'Z' && name[64] == 'Z' && picture[32] == 'Z' && info[32] == 'Z', "lookup overran a buffer");
}

void loadBook(unsigned failingAllocation)
{
    sim::Firmware &fw = sim::firmware();
    fw.heap.failAllocation(failingAllocation == 0 ? 0 : fw.heap.allocationCount() + failingAllocation);
    int result = loadAddressBook(fileName);
    fw.heap.failAllocation(0);
    check(result == ADRBOOK_OK || result == ADRBOOK_TOO_MANY_ENTRIES || result == ADRBOOK_FILE_ERROR ||
              result == ADRBOOK_NO_MEMORY || (failingAllocation != 0 && result == ADRBOOK_OPEN_FAILED),
          "unexpected address-book result");
    check(getAddressEntries() < ADRBOOK_MAX_ENTRIES, "more than 128 entries");
    int listed = 0;
    for (const AddressEntry *e = getAddressBook(); e != nullptr; e = e->next) {
        check(e->index == ++listed, "entry numbers out of step");
        check(terminatedWithin(e->number, sizeof e->number) && terminatedWithin(e->name, sizeof e->name) &&
                  terminatedWithin(e->picture, sizeof e->picture) && terminatedWithin(e->info, sizeof e->info),
              "unterminated entry");
        check(e->next == nullptr || e->next->prev == e, "broken back link");
    }
    check(listed == (getAddressEntries() < 0 ? 0 : getAddressEntries()), "count and list differ");

    for (const AddressEntry *e = getAddressBook(); e != nullptr; e = e->next)
        lookUp(e->number);
    lookUp("");
    lookUp("1234");
    lookUp("33333333333333333333333333333333");
    unloadAddressBook();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool booted = false;
    if (!booted) {
        bootReceiver();
        booted = true;
    }
    if (size < 1)
        return 0;
    sim::Firmware &fw = sim::firmware();
    fw.journal.clear();
    const unsigned failingAllocation = data[0] % 8;
    fw.disk.writeFile(std::string(settingsFolder) + "/" + fileName,
                      std::string(reinterpret_cast<const char *>(data + 1), size - 1));
    fw.disk.changeFolder(settingsFolder);

    readProperties(size - 1);
    loadBook(failingAllocation);
    check(loadSettings(fileName) == 1, "the settings file could not be read");
    if (statusWindow != -1)
        removeStatusWindow();

    auto leaks = fw.leakReport();
    if (!leaks.empty()) {
        for (const std::string &line : leaks)
            std::fprintf(stderr, "leak: %s\n", line.c_str());
        std::abort();
    }
    return 0;
}
