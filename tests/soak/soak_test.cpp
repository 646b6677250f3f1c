// A week next to a busy router, in virtual time, through the fake router over
// loopback TCP: 100,000 calls on the four line slots with noise between
// them, the book opened and browsed now and then, and five router restarts
// of one to three minutes during which the router's name cannot be resolved
// at first. Afterwards the caller list, the heap, the display and the stop
// event must show that nothing was lost or left behind.
#include <sys/ioctl.h>

#include <algorithm>
#include <array>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "fakerouter/fakeRouter.h"
#include "firmware_fixture.h"
#include "platform/keys.h"
#include "shell/routerConnection.h"
#include "store/callerlist.h"
#include "view/viewBook.h"

namespace
{

constexpr int totalCalls = 100000;
constexpr uint64_t week = 7ull * 24 * 3600 * 100; // ticks
constexpr int secondsPerGroup = 20;               // virtual time taken by the traffic of one group of calls

struct FinishedCall {
    int time;
    std::string number;
    int duration;
    int state;
};

// Router restarts: when (hours into the week), how long the router is away,
// and for how much of that its name cannot be resolved.
struct Restart {
    int hour;
    int seconds;
    int unresolvableSeconds;
};
constexpr std::array<Restart, 5> restarts{{
    {27, 60, 40},
    {51, 180, 120},
    {75, 90, 60},
    {99, 150, 100},
    {147, 120, 80},
}};

// What the line handler does with the lines of the generated traffic, kept
// as the caller list's own terms: a call is recorded at its disconnect, and
// an empty line repeats the line before it.
struct CallModel {
    struct Slot {
        int state = 0; // 0: not tracking
        int start = 0;
        std::string number;
    };
    std::array<Slot, 4> slots;
    std::deque<FinishedCall> finished; // newest first, at most 36 kept
    enum class Last { other, disconnect } last = Last::other;
    int lastSlot = 0;
    int lastDuration = 0;

    void record(int slot, int duration)
    {
        Slot &s = slots[slot];
        if (s.state == 0)
            return;
        if (s.state == 1 && duration == 0)
            s.state = 2;
        finished.push_front({s.start, s.number, duration, s.state});
        if (finished.size() > CALLERLIST_MAX)
            finished.pop_back();
    }
};

class SoakTest : public test::FirmwareTest
{
  protected:
    void SetUp() override
    {
        FirmwareTest::SetUp();
        fw().journalDrawing = false;
        fw().osd.setPixels(false);
        sim::network().setRouter("fritz.box", router.port());
        router.setClock([this] { return fw().clock.wallTime(); });
        writeSettings("FritzBox = fritz.box\nMSN = 5550001 5550002\n");
        std::string book;
        for (int i = 0; i < 40; ++i)
            book += "03012345" + std::to_string(10 + i) + " = Nachbar " + std::to_string(i) + ", p" +
                    std::to_string(i) + ".jpg, Info " + std::to_string(i) + "\n";
        writeAddressBook(book);
    }

    // One idle event per tick until the program has read all that waits.
    void drain()
    {
        if (sockfd < 0)
            return;
        for (int guard = 0; guard < 100000; ++guard) {
            int waiting = 0;
            if (::ioctl(sockfd, FIONREAD, &waiting) != 0 || waiting == 0)
                return;
            tick(1);
        }
        FAIL() << "the program stopped reading";
    }
    void tick(uint32_t ticks)
    {
        fw().clock.advance(ticks);
        receiver().idle();
    }
    // Sends and waits until the bytes are readable on the program's socket,
    // so that the idle events after it see them.
    void send(const std::string &bytes)
    {
        ASSERT_GE(sockfd, 0);
        int waiting = 0;
        ::ioctl(sockfd, FIONREAD, &waiting);
        ASSERT_TRUE(router.send(bytes));
        ASSERT_TRUE(sim::network().waitReadable(sockfd, waiting + static_cast<int>(bytes.size()), 2000));
    }
    // Brings the clock forward to `until`, with an idle event every 20
    // seconds (status-window timeouts, the check for a closed connection).
    void wait(uint64_t until)
    {
        while (elapsed() < until && receiver().resident())
            tick(static_cast<uint32_t>(std::min<uint64_t>(until - elapsed(), 2000)));
    }
    // Ticks since start-up; the counter does not wrap within the week.
    uint64_t elapsed() { return fw().clock.tick(); }
    void connect()
    {
        for (int i = 0; i < 60000 && sockfd < 0 && receiver().resident(); ++i)
            tick(10);
        ASSERT_GE(sockfd, 0) << "no connection";
        router.acceptPending(std::chrono::milliseconds(1000));
        ASSERT_TRUE(router.hasClient());
    }
    void restart(const Restart &r)
    {
        router.closeClients();
        router.setRefusing(true);
        sim::network().faults.resolveFails = true;
        uint64_t back = elapsed() + static_cast<uint64_t>(r.seconds) * 100;
        uint64_t resolvable = elapsed() + static_cast<uint64_t>(r.unresolvableSeconds) * 100;
        while (elapsed() < back && receiver().resident()) {
            tick(10);
            if (elapsed() >= resolvable)
                sim::network().faults.resolveFails = false;
        }
        sim::network().faults.resolveFails = false;
        router.setRefusing(false);
        connect();
    }

    // The lines of one group: up to four calls, one per slot, each a RING or
    // CALL, perhaps a CONNECT and a DISCONNECT, interleaved with noise.
    void playGroup(int calls)
    {
        // Start times are whole seconds: the first lines are all read
        // within the second in which they were written.
        tick(static_cast<uint32_t>(100 - elapsed() % 100));
        std::vector<int> order = {0, 1, 2, 3};
        std::shuffle(order.begin(), order.end(), random);
        order.resize(static_cast<size_t>(calls));
        std::string burst;
        auto line = [&](const std::string &fields) { burst += router.stampedLine(fields); };
        auto flush = [&] {
            if (burst.empty())
                return;
            // Now and then a line is cut: its first part is read on its own.
            size_t cut = burst.size();
            if (random() % 4 == 0)
                cut = 1 + random() % (burst.size() - 1);
            send(burst.substr(0, cut));
            drain();
            if (cut < burst.size()) {
                tick(1);
                send(burst.substr(cut));
                drain();
            }
            burst.clear();
        };
        auto noise = [&] {
            switch (random() % 8) {
            case 0: line("ZZTOP;" + std::to_string(random() % 8) + ";1;2;3;"); break; // unknown word
            case 1:
                burst += "\n";
                repeatLast();
                break;                                                                            // empty line
            case 2: line(std::string(40, 'Y') + ";" + std::to_string(random() % 8) + ";"); break; // long word
            default: break;
            }
        };

        for (int slot : order) {
            int id = 2 * slot + static_cast<int>(random() % 2);
            bool outgoing = random() % 3 == 0;
            bool filtered = random() % 20 == 0;
            std::string own = filtered ? "5559999" : (random() % 2 ? "5550001" : "5550002");
            std::string other = random() % 2 ? "03012345" + std::to_string(10 + random() % 40)
                                             : "0171" + std::to_string(1000000 + random() % 9000000);
            // Collected but unread fields may be of any length.
            std::string lineName = random() % 10 == 0 ? std::string(45, 'S') : "SIP0";
            line(outgoing ? fakerouter::callFields(id, 4, own, other, lineName)
                          : fakerouter::ringFields(id, other, own, lineName));
            CallModel::Slot &s = model.slots[static_cast<size_t>(slot)];
            s.state = filtered ? 0 : (outgoing ? 3 : 1);
            s.start = static_cast<int>(fw().clock.wallTime());
            s.number = other;
            model.last = CallModel::Last::other;
            noise();
        }
        flush();
        tick(100);
        std::shuffle(order.begin(), order.end(), random);
        for (int slot : order) {
            int id = 2 * slot;
            if (random() % 3 != 0) {
                line(fakerouter::connectFields(id, 4, model.slots[static_cast<size_t>(slot)].number));
                model.last = CallModel::Last::other;
                noise();
            }
        }
        flush();
        tick(100);
        std::shuffle(order.begin(), order.end(), random);
        for (int slot : order) {
            int duration = random() % 3 == 0 ? 0 : static_cast<int>(random() % 5000);
            line(fakerouter::disconnectFields(2 * slot + 1, duration));
            model.record(slot, duration);
            model.last = CallModel::Last::disconnect;
            model.lastSlot = slot;
            model.lastDuration = duration;
            noise();
        }
        flush();
    }
    void repeatLast()
    {
        if (model.last == CallModel::Last::disconnect)
            model.record(model.lastSlot, model.lastDuration);
    }
    // The book opened on the call list, browsed on both pages, and either
    // closed or left open while the next calls come in.
    void browse()
    {
        if (getBookWindowStatus() == 0) {
            ASSERT_EQ(receiver().key(DEFAULT_ACTION_KEY), 0u);
        }
        static const dword keys[] = {KEY_CURSOR_DOWN, KEY_PAGE_DOWN,   KEY_CURSOR_DOWN, KEY_PAGE_UP,
                                     KEY_CURSOR_UP,   KEY_PAGE_SWITCH, KEY_PAGE_DOWN,   KEY_PAGE_SWITCH2};
        for (int i = 0; i < 6; ++i)
            receiver().key(keys[random() % 8]);
        if (random() % 2)
            receiver().key(random() % 2 ? DEFAULT_ACTION_KEY : KEY_DISMISS);
        if (random() % 4 == 0)
            receiver().key(KEY_DISMISS);
    }

    fakerouter::FakeRouter router{0};
    std::mt19937 random{20261208};
    CallModel model;
};

TEST_F(SoakTest, AWeekOfCallsAndRestartsLeavesTheNewestCallsAndNothingElse)
{
    startProgram();
    ASSERT_TRUE(receiver().resident());
    const size_t blocksAfterStart = fw().heap.liveBlocks();
    const uint32_t bytesAfterStart = fw().heap.liveBytes();
    connect();

    const int groups = (totalCalls + 3) / 4;
    const uint64_t restartTicks = [] {
        uint64_t t = 0;
        for (const Restart &r : restarts)
            t += static_cast<uint64_t>(r.seconds) * 100;
        return t;
    }();
    const uint64_t pace = (week - restartTicks) / groups;
    ASSERT_GT(pace, static_cast<uint64_t>(secondsPerGroup) * 100);
    size_t nextRestart = 0;
    uint64_t awayTicks = 0;
    int played = 0;
    for (int g = 0; g < groups && receiver().resident() && !HasFatalFailure(); ++g) {
        int calls = std::min(4, totalCalls - played);
        playGroup(calls);
        played += calls;
        if (g % 97 == 0)
            browse();
        if (g % 1000 == 0)
            fw().journal.clear();
        wait(static_cast<uint64_t>(g + 1) * pace + awayTicks);
        if (nextRestart < restarts.size() && elapsed() >= static_cast<uint64_t>(restarts[nextRestart].hour) * 360000) {
            restart(restarts[nextRestart]);
            awayTicks += static_cast<uint64_t>(restarts[nextRestart].seconds) * 100;
            ++nextRestart;
        }
        ASSERT_TRUE(fw().osd.misuses().empty()) << fw().osd.misuses().front();
    }
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(played, totalCalls);
    EXPECT_EQ(nextRestart, restarts.size());
    wait(week);
    EXPECT_GE(elapsed(), week);
    ASSERT_TRUE(receiver().resident());

    if (getBookWindowStatus() != 0)
        receiver().key(DEFAULT_ACTION_KEY);
    std::vector<FinishedCall> held;
    for (const CallEntry *e = getCallerList(); e != nullptr; e = e->older)
        held.push_back({e->time, e->number, e->duration, e->state});
    ASSERT_EQ(held.size(), static_cast<size_t>(CALLERLIST_MAX));
    ASSERT_EQ(getCallEntries(), CALLERLIST_MAX);
    for (size_t i = 0; i < held.size(); ++i) {
        const FinishedCall &want = model.finished[i];
        EXPECT_EQ(held[i].number, want.number) << "entry " << i;
        EXPECT_EQ(held[i].time, want.time) << "entry " << i;
        EXPECT_EQ(held[i].duration, want.duration) << "entry " << i;
        EXPECT_EQ(held[i].state, want.state) << "entry " << i;
    }
    EXPECT_EQ(fw().heap.liveBlocks(), blocksAfterStart + CALLERLIST_MAX);
    EXPECT_EQ(fw().heap.liveBytes(), bytesAfterStart + CALLERLIST_MAX * sizeof(CallEntry));
    EXPECT_TRUE(fw().osd.misuses().empty());
    EXPECT_EQ(fw().osd.misuseCount(), 0u);

    receiver().stop();
    EXPECT_EQ(leaks(), std::vector<std::string>{});
}

} // namespace
