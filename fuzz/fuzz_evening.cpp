// An evening of use, played from the fuzzer's input through the program's
// entry points: router bytes over loopback TCP from the fake router, key
// events (every key, in and out of normal viewing), idle ticks and jumps of
// the clock, heap faults, lost and refused connections, and restarts of the
// program. The oracle is the simulator's: drawing into no region or past
// its edges at any time, and anything left behind (heap blocks, files,
// regions, sockets) after the stop event; AddressSanitizer catches every use
// of a freed heap block, a dropped caller-list entry included.
// EVENING_TRACE=1 in the environment prints every step of an input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <vector>

#include "fakerouter/fakeRouter.h"
#include "firmware.h"
#include "fuzz_receiver.h"
#include "network.h"
#include "receiver.h"

#include "events/fritzbox.h"
#include "platform/keys.h"
#include "shell/ringwatcher.h"
#include "shell/routerConnection.h"

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

const char *const numbers[] = {
    "0301234567", "5550001", "0309876543", "", "017612345678", "1234", "012345678901234567890123456789012345"};

struct Evening {
    fakerouter::FakeRouter router{0};
    std::unique_ptr<sim::Receiver> receiver;
    int settings = -1;
    long events = 0;
};

Evening &evening()
{
    static Evening *e = [] {
        fuzz::bootReceiver();
        sim::Firmware &fw = sim::firmware();
        fw.disk.writeFile(std::string(settingsFolder) + "/addrbook.dat",
                          "# looked up, never listed\n"
                          "0301234567 = Anna M\374ller, anna.jpg, Schwester\n"
                          "5550001 = B\374ro\n"
                          "0309876543 = Bernd, , Kollege\n"
                          "012345678 = Lang, lang.jpg, x\n"
                          " = Niemand\n");
        auto *made = new Evening;
        sim::network().setRouter("", made->router.port());
        return made;
    }();
    return *e;
}

[[noreturn]] void fail(const char *what, const std::vector<std::string> &lines)
{
    std::fprintf(stderr, "%s\n", what);
    for (const std::string &line : lines)
        std::fprintf(stderr, "  %s\n", line.c_str());
    std::abort();
}

void checkDrawing()
{
    const sim::Osd &osd = sim::firmware().osd;
    if (osd.misuseCount() != 0)
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
    MonitorState quiet{};
    for (int id = 0; id < 2 * LINE_SLOTS; id += 2) {
        std::string line = "x;RING;" + std::to_string(id) + ";;+;\n";
        handleData(line.c_str(), &quiet);
    }
}

void startProgram(Evening &e, int variant)
{
    sim::Firmware &fw = sim::firmware();
    if (variant != e.settings) {
        fw.disk.writeFile(std::string(settingsFolder) + "/ringwatcher.ini", settingsVariants[variant]);
        e.settings = variant;
    }
    // What a fresh load of the program file would start from.
    forceExit = 0;
    retryCnt = 0;
    sockfd = -1;
    idleAllSlots();
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
    e.router.acceptPending();
    e.receiver->idle();
    ++e.events;
}

void send(Evening &e, const std::string &bytes)
{
    e.router.acceptPending();
    if (sockfd < 0 || !e.router.hasClient() || bytes.empty())
        return;
    int waiting = 0;
    ::ioctl(sockfd, FIONREAD, &waiting);
    if (!e.router.send(bytes))
        return;
    sim::network().waitReadable(sockfd, waiting + static_cast<int>(bytes.size()), 10);
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
    net.faults = {};
    e.router.setRefusing(false);
    e.events = 0;

    const uint8_t *end = data + size;
    startProgram(e, *data++ % 4);
    idle(e, 3);

    while (data < end && e.events < 20000) {
        const uint8_t op = *data++;
        const uint8_t arg = data < end ? *data++ : 0;
        switch (op % 11) {
        case 0: { // raw router bytes
            size_t n = std::min<size_t>(arg % 96 + 1, static_cast<size_t>(end - data));
            send(e, std::string(reinterpret_cast<const char *>(data), n));
            data += n;
            break;
        }
        case 1: { // a well-formed line, perhaps cut before its end
            --data;
            std::string line = e.router.stampedLine(structuredLine(data, end));
            if (arg & 0x80)
                line.resize(line.size() / 2);
            send(e, line);
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
            switch (arg % 6) {
            case 0: e.router.closeClients(); break;
            case 1: e.router.resetClients(); break;
            case 2: e.router.setRefusing(!e.router.refusing()); break;
            case 3: net.faults.resolveFails = !net.faults.resolveFails; break;
            case 4: net.faults.fionreadFails = !net.faults.fionreadFails; break;
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
            startProgram(e, arg % 4);
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
        if (std::getenv("EVENING_TRACE"))
            std::fprintf(stderr, "op %d arg %d resident %d blocks %zu tick %u\n", op % 11, arg, e.receiver->resident(),
                         fw.heap.liveBlocks(), fw.clock.tick());
        checkDrawing();
        if (!e.receiver->resident()) // ended itself: its tear-down must be complete
            checkNothingLeft();
    }
    stopProgram(e);
    e.router.closeClients();
    return 0;
}
