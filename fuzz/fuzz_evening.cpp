// An evening of use, played from the fuzzer's input through the program's
// entry points: the settings file and the address book (a household's or
// the input's own, missing, or loaded while the heap runs out), router bytes
// through the network in memory, key events (every key, in and out of normal
// viewing), idle ticks and jumps of the clock, heap faults, lost, reset and
// refused connections, a failing socket(), and restarts of the program. The
// receiver runs on a disk and a network in memory, so that an input costs no
// system call. The oracle is the simulator's: drawing into no region or past
// its edges at any time, and anything left behind (heap blocks, files,
// regions, sockets) after the stop event; AddressSanitizer catches every use
// of a freed heap block, a dropped caller-list entry included.
// EVENING_TRACE=1 in the environment prints every step of an input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakerouter/fakeRouter.h"
#include "firmware.h"
#include "fuzz_receiver.h"
#include "network.h"
#include "receiver.h"

#include "events/fritzbox.h"
#include "platform/keys.h"
#include "shell/keyRouting.h"
#include "shell/ringwatcher.h"
#include "shell/routerConnection.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "view/fontColor.h"

extern "C" int __TAP_Init_(void *record);

namespace
{

using fuzz::settingsFolder;

// Settings a household might choose, with the delays that change what the
// status window does (no timeout, a past timeout, -2 for DISCONNECT).
const char *const settingsVariants[] = {
    "StartupConnectDelay = 0\n",
    "StartupConnectDelay = 0\nDisplayDelay = 0\nDisconnectDelay = -2\nMSN = 5550001\n",
    "StartupConnectDelay = 0\nConnectDelay = -1\nIncomingDelay = 0\nFritzBoxLineNumbering = 0\nAreaCode = 030\n",
    "StartupConnectDelay = 2\nDisplayDelay = -1\nCalloutDelay = -1\nActionKey = 65600\n",
};

const dword keyCodes[] = {
    DEFAULT_ACTION_KEY, KEY_PAGE_SWITCH, KEY_CURSOR_UP, KEY_PAGE_SWITCH2, KEY_DISMISS, KEY_CURSOR_DOWN,
    KEY_PAGE_UP,        KEY_PAGE_DOWN,   65600,         0x10000,
};

const char *const householdBook = "# looked up, never listed\n"
                                  "0301234567 = Anna M\374ller, anna.jpg, Schwester\n"
                                  "5550001 = B\374ro\n"
                                  "0309876543 = Bernd, , Kollege\n"
                                  "012345678 = Lang, lang.jpg, x\n"
                                  " = Niemand\n";

const char *const numbers[] = {
    "0301234567", "5550001", "0309876543", "", "017612345678", "1234", "012345678901234567890123456789012345"};

struct Evening {
    std::unique_ptr<sim::Receiver> receiver;
    long events = 0;
    bool trace = std::getenv("EVENING_TRACE") != nullptr;
    bool drawingChecked = true;
};

Evening &evening()
{
    static Evening *e = [] {
        fuzz::bootReceiver(true);
        sim::firmware().journal.setRecording(false); // read by nothing here
        return new Evening;
    }();
    return *e;
}

sim::MemoryNetwork &router()
{
    return sim::network().memory();
}

// The disk's two files for this input. The first byte's high bits take
// either file from the input (a length byte, then the text; length 0: no
// such file) and ask for a heap that runs out while they are loaded.
struct Household {
    int settingsVariant = 0;
    bool ownSettings = false, ownBook = false;
    std::string settings, book;
    bool heapFault = false;
    uint32_t heapFaultAt = 0;
    bool heapFaultFrom = false;
};

// A length byte, then the text; a length byte of 255 takes four times the
// next byte on top, so that an address book can outgrow its 128 entries.
std::string textFrom(const uint8_t *&data, const uint8_t *end)
{
    size_t n = data < end ? *data++ : 0;
    if (n == 255 && data < end)
        n += 4u * *data++;
    n = std::min(n, static_cast<size_t>(end - data));
    std::string text(reinterpret_cast<const char *>(data), n);
    data += n;
    return text;
}

Household householdFrom(const uint8_t *&data, const uint8_t *end)
{
    Household h;
    const uint8_t first = *data++;
    h.settingsVariant = first % 4;
    h.ownSettings = first & 0x80;
    h.ownBook = first & 0x40;
    h.heapFault = first & 0x20;
    if (h.ownSettings)
        h.settings = textFrom(data, end);
    if (h.ownBook)
        h.book = textFrom(data, end);
    if (h.heapFault) {
        uint8_t at = data < end ? *data++ : 0;
        h.heapFaultAt = at % 64 + 1;
        h.heapFaultFrom = at & 0x80;
    }
    return h;
}

// Written only when it changes: most inputs keep the household's files.
void writeOrRemove(const std::string &name, bool own, const std::string &text, const char *household)
{
    static std::map<std::string, std::optional<std::string>> written;
    std::optional<std::string> wanted;
    if (!own)
        wanted = household;
    else if (!text.empty())
        wanted = text;
    auto it = written.find(name);
    if (it != written.end() && it->second == wanted)
        return;
    sim::Disk &disk = sim::firmware().disk;
    std::string path = std::string(settingsFolder) + "/" + name;
    if (wanted)
        disk.writeFile(path, *wanted);
    else
        disk.removeFile(path);
    written[name] = std::move(wanted);
}

[[noreturn]] void fail(const char *what, const std::vector<std::string> &lines)
{
    std::fprintf(stderr, "%s\n", what);
    for (const std::string &line : lines)
        std::fprintf(stderr, "  %s\n", line.c_str());
    std::abort();
}

void checkDrawing(const Evening &e)
{
    const sim::Osd &osd = sim::firmware().osd;
    if (e.drawingChecked && osd.misuseCount() != 0)
        fail("drawing the firmware would not carry out:", osd.misuses());
}

void checkNothingLeft()
{
    auto leaks = sim::firmware().leakReport();
    for (auto &line : sim::network().leakReport())
        leaks.push_back(line);
    if (!leaks.empty())
        fail("left behind after the program stopped:", leaks);
}

// Line slots keep their state between runs of the linked program; a line
// filtered out by the MSN setting puts each back to idle.
void idleAllSlots()
{
    sim::ProgramCall inProgram;
    setMSNs("-");
    static const std::string lines = [] {
        std::string all;
        for (int id = 0; id < 2 * LINE_SLOTS; id += 2)
            all += "x;RING;" + std::to_string(id) + ";;+;\n";
        return all;
    }();
    MonitorState quiet{};
    handleData(lines.c_str(), &quiet);
}

void writeHousehold(const Household &h, int variant)
{
    writeOrRemove("ringwatcher.ini", h.ownSettings, h.settings, settingsVariants[variant]);
    writeOrRemove("addrbook.dat", h.ownBook, h.book, householdBook);
}

// The settings' variables at their initial values: a settings file only
// sets what it names, and the previous input's may have named anything.
void settingsAsLoaded()
{
    sim::ProgramCall inProgram;
    statusWindowXOffset = 30;
    statusWindowYOffset = 56;
    displayDelay = incomingDelay = connectDelay = calloutDelay = disconnectDelay = 600;
    startupConnectDelay = 3000;
    std::snprintf(fritzBox, sizeof fritzBox, "%s", "fritz.box");
    fontColor = 0xFFFFFFFF;
    actionKey = DEFAULT_ACTION_KEY;
    setNumberingType(1);
    setAreaCode("");
    setMSNs("");
}

void startProgram(Evening &e)
{
    // What a fresh load of the program file would start from.
    forceExit = 0;
    retryCnt = 0;
    sockfd = -1;
    idleAllSlots();
    settingsAsLoaded();
    e.receiver = std::make_unique<sim::Receiver>(sim::registerEntries(&__TAP_Init_));
    e.receiver->start();
}

void stopProgram(Evening &e)
{
    if (e.receiver && e.receiver->resident())
        e.receiver->stop();
    checkNothingLeft();
}

void idle(Evening &e, uint32_t ticks)
{
    sim::firmware().clock.advance(ticks);
    router().accept();
    e.receiver->idle();
    ++e.events;
}

void send(const std::string &bytes)
{
    router().accept();
    router().write(bytes);
}

// A line as the router writes it, stamped with the receiver's time.
std::string stampedLine(const std::string &fields)
{
    return fakerouter::routerTimestamp(sim::firmware().clock.wallTime()) + ";" + fields + "\r\n";
}

std::string structuredLine(const uint8_t *&data, const uint8_t *end)
{
    uint8_t pick = data < end ? *data++ : 0;
    uint8_t more = data < end ? *data++ : 0;
    int id = pick % 9; // 8 is outside the line table
    const char *a = numbers[more % 7];
    const char *b = numbers[(more >> 3) % 7];
    switch ((pick >> 4) % 5) {
    case 0: return fakerouter::ringFields(id, a, b);
    case 1: return fakerouter::callFields(id, 4, b, a);
    case 2: return fakerouter::connectFields(id, 4, a);
    case 3: return fakerouter::disconnectFields(id, more % 4 == 0 ? 0 : more * 7);
    default: return std::string();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Evening &e = evening();
    if (size < 1)
        return 0;
    sim::Firmware &fw = sim::firmware();
    sim::Network &net = sim::network();
    fw.reset();
    fw.journalDrawing = false;
    fw.osd.setPixels(false);
    net.reset();
    e.events = 0;
    const uint8_t *end = data + size;
    const Household household = householdFrom(data, end);
    // Keeping the bar on the screen (x at most 98, y at most 492) is the
    // owner's part: settings of the input's own that place it may put the
    // messages met while reading them anywhere.
    e.drawingChecked = !household.ownSettings || (household.settings.find("Xpos") == std::string::npos &&
                                                  household.settings.find("Ypos") == std::string::npos);
    writeHousehold(household, household.settingsVariant);
    if (household.heapFault) {
        if (household.heapFaultFrom)
            fw.heap.failFrom(household.heapFaultAt);
        else
            fw.heap.failAllocation(household.heapFaultAt);
    }
    startProgram(e);
    fw.heap.failAllocation(0);
    fw.heap.failFrom(0);
    idle(e, 3);

    while (data < end && e.events < 20000) {
        const uint8_t op = *data++;
        const uint8_t arg = data < end ? *data++ : 0;
        switch (op % 11) {
        case 0: { // raw router bytes
            size_t n = std::min<size_t>(arg % 96 + 1, static_cast<size_t>(end - data));
            send(std::string(reinterpret_cast<const char *>(data), n));
            data += n;
            break;
        }
        case 1: { // a well-formed line, perhaps cut before its end
            --data;
            std::string line = stampedLine(structuredLine(data, end));
            if (arg & 0x80)
                line.resize(line.size() / 2);
            send(line);
            break;
        }
        case 2: // a key
            if (e.receiver->resident())
                e.receiver->key(arg < 200 ? keyCodes[arg % 10] : 0x10000u + arg);
            break;
        case 3: // idle events, one tick apart
            for (int i = 0; i <= arg % 64 && e.receiver->resident(); ++i)
                idle(e, 1);
            break;
        case 4: // the clock jumps (timeouts, delays, the tick counter's wrap)
            if (e.receiver->resident())
                idle(e, arg == 255 ? 0xFFFFFF00u : static_cast<uint32_t>(arg) * 50);
            break;
        case 5: // heap faults
            if (arg % 3 == 0)
                fw.heap.failAllocation(0), fw.heap.failFrom(0);
            else if (arg % 3 == 1)
                fw.heap.failAllocation(fw.heap.allocationCount() + arg % 5 + 1);
            else
                fw.heap.failFrom(fw.heap.allocationCount() + 1);
            break;
        case 6: // the router goes away or comes back
            switch (arg % 7) {
            case 0: router().closeClients(); break;
            case 1: router().resetClients(); break;
            case 2: router().setListening(!router().listening()); break;
            case 3: net.faults.resolveFails = !net.faults.resolveFails; break;
            case 4: net.faults.fionreadFails = !net.faults.fionreadFails; break;
            case 5: net.faults.socketFails = !net.faults.socketFails; break;
            default: net.faults.connectRefused = !net.faults.connectRefused; break;
            }
            break;
        case 7: // the user is in one of the firmware's menus, or back
            fw.receiver.state = arg & 1 ? 0 : 1;
            fw.receiver.subState = arg & 1 ? 0x1F : 0;
            break;
        case 8: // the firmware stops the program and starts it again
            stopProgram(e);
            fw.heap.failAllocation(0);
            fw.heap.failFrom(0);
            writeHousehold(household, arg % 4);
            startProgram(e);
            break;
        case 9: // other events pass through untouched
            if (e.receiver->resident())
                e.receiver->event(0x0200u + arg, arg);
            break;
        default: // an idle event without time passing
            if (e.receiver->resident())
                e.receiver->idle(), ++e.events;
            break;
        }
        if (e.trace)
            std::fprintf(stderr, "op %d arg %d resident %d blocks %zu tick %u\n", op % 11, arg, e.receiver->resident(),
                         fw.heap.liveBlocks(), fw.clock.tick());
        checkDrawing(e);
        if (!e.receiver->resident()) // ended itself: its tear-down must be complete
            checkNothingLeft();
    }
    stopProgram(e);
    // Nothing of this input stays for the next: libFuzzer takes memory
    // held on between inputs for a leak and runs the input again to see.
    e.receiver.reset();
    fw.journal.clear();
    net.reset();
    return 0;
}
