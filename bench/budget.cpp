// The figures that bench/run.sh holds against budgets, from the program
// file as the receiver loads it. Under callgrind (--collect-atstart=no) only
// the measured events are collected, so the program's own instructions per
// event can be read from the profile:
//   budget idle-empty N   N idle events, connected, nothing waiting
//   budget idle-line N    N idle events, each with one complete line waiting
//                         (a connect on a tracked line: the status window)
//   budget book N         N redraws of the call list (36 calls) with a full
//                         128-entry address book behind the names
//   budget heap           the heap peak with a full book and a full caller
//                         list, beside the sum of their records
// The receiver build runs under qemu-mipsel, which has no callgrind: there the
// toggles are nothing, every instruction executed in the program file's code
// is counted, and the difference of two runs cancels start-up. With
// RW_TAP_CODE set, the address range of that code goes to stderr so that the
// count can be limited to it.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include <link.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "fakerouter/fakeRouter.h"
#include "firmware.h"
#include "loader.h"
#include "network.h"
#include "receiver.h"
#include "temporaryReceiver.h"

#include "platform/keys.h"
#include "store/addressbook.h"
#include "store/callerlist.h"

namespace
{

// The executable segment of the loaded program file, as "START+SIZE" in hex
// (the form of qemu's -dfilter).
void showTapCode()
{
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *) {
            const std::string_view name = info->dlpi_name ? info->dlpi_name : "";
            if (!name.ends_with("ringwatcher.tap"))
                return 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr) &ph = info->dlpi_phdr[i];
                if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X) != 0)
                    std::fprintf(stderr, "tap code 0x%lx+0x%lx\n",
                                 static_cast<unsigned long>(info->dlpi_addr + ph.p_vaddr),
                                 static_cast<unsigned long>(ph.p_memsz));
            }
            return 1;
        },
        nullptr);
}

struct Receiver {
    explicit Receiver(const std::string &book)
    {
        sim::Firmware &fw = sim::firmware();
        fw.journalDrawing = false;
        fw.osd.setPixels(false);
        fw.disk.writeFile("/ProgramFiles/Settings/Ringwatcher/ringwatcher.ini",
                          "StartupConnectDelay = 0\nDisplayDelay = 0\nConnectDelay = 0\n");
        fw.disk.writeFile("/ProgramFiles/Settings/Ringwatcher/addrbook.dat", book);
        sim::network().setRouter("", router.port());
        // The program file itself, not a copy: callgrind names its object.
        std::string error;
        auto entries = sim::loadProgram(RW_TAP_FILE, false, &error);
        if (!entries) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(2);
        }
        if (std::getenv("RW_TAP_CODE"))
            showTapCode();
        receiver = std::make_unique<sim::Receiver>(*entries);
        receiver->start();
        idle();
        router.acceptPending(std::chrono::milliseconds(1000));
        if (!router.hasClient())
            std::exit(2);
    }
    ~Receiver() { receiver->stop(); }
    void idle()
    {
        sim::firmware().clock.advance(1);
        receiver->idle();
    }
    // Sends the line and hands it to the program in as many idle events as
    // its reads take.
    void deliver(const std::string &fields)
    {
        std::string line = router.stampedLine(fields);
        router.send(line);
        for (const int fd : sim::network().programSockets())
            sim::network().waitReadable(fd, static_cast<int>(line.size()), 1000);
        for (size_t read = 0; read < line.size(); read += 128)
            idle();
    }
    sim::TemporaryReceiver booted;
    fakerouter::FakeRouter router{0};
    std::unique_ptr<sim::Receiver> receiver;
};

std::string fullBook()
{
    std::string book;
    for (int i = 0; i < ADRBOOK_MAX_ENTRIES; ++i)
        book += "0301234" + std::to_string(1000 + i) + " = Nachbarin Nummer " + std::to_string(i) + ", bild" +
                std::to_string(i) + ".jpg, Info zu " + std::to_string(i) + "\n";
    return book;
}

void fillCallerList(Receiver &r)
{
    for (int i = 0; i <= CALLERLIST_MAX; ++i) {
        int id = i % 8;
        r.deliver(fakerouter::ringFields(id, "0301234" + std::to_string(1000 + i * 3), "5550001"));
        r.deliver(fakerouter::disconnectFields(id, i % 3 == 0 ? 0 : 60 * i));
    }
}

template <typename Event> void measured(long n, Event event)
{
    for (long i = 0; i < n; ++i) {
        CALLGRIND_TOGGLE_COLLECT;
        event();
        CALLGRIND_TOGGLE_COLLECT;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const std::string mode = argv[1];
    const long n = argc > 2 ? std::atol(argv[2]) : 1000;
    if (mode == "idle-empty") {
        Receiver r("5550001 = Zuhause\n");
        measured(n, [&] { r.idle(); });
    } else if (mode == "idle-line") {
        Receiver r("5550001 = Zuhause\n0301234567 = Anna, anna.jpg, Schwester\n");
        r.deliver(fakerouter::ringFields(0, "0301234567", "5550001"));
        const std::string line = r.router.stampedLine(fakerouter::connectFields(0, 4, "0301234567"));
        for (long i = 0; i < n; ++i) {
            r.router.send(line);
            for (const int fd : sim::network().programSockets())
                sim::network().waitReadable(fd, static_cast<int>(line.size()), 1000);
            sim::firmware().clock.advance(1);
            measured(1, [&] { r.receiver->idle(); });
        }
    } else if (mode == "book") {
        Receiver r(fullBook());
        fillCallerList(r);
        if (r.receiver->key(DEFAULT_ACTION_KEY) != 0)
            return 1;
        measured(n, [&] { r.receiver->key(KEY_CURSOR_DOWN); });
    } else if (mode == "heap") {
        Receiver r(fullBook());
        fillCallerList(r);
        const unsigned records =
            static_cast<unsigned>(ADRBOOK_MAX_ENTRIES * sizeof(AddressEntry) + CALLERLIST_MAX * sizeof(CallEntry));
        std::printf("heap peak %u bytes, records %u bytes\n", sim::firmware().heap.peakBytes(), records);
    } else {
        return 2;
    }
    return 0;
}
