// What the field does to the router connection, one case a row: the program
// file in virtual time against the fake router over loopback TCP. Each row
// plays its fault and states what the user sees: the loss message shown how
// often, the final message, the program resident or ended, and, when it is
// resident, whether the next call is shown.
#include <functional>
#include <string>
#include <sys/ioctl.h>

#include "fakerouter/fakeRouter.h"
#include "firmware_fixture.h"

namespace
{

const char *const lossText = "Verbindung zu Fritz Box unterbrochen";
const char *const finalText = "keine Verbindung zu Fritz Box, Tap wird beendet";
const char *const unresolvedText = "Kann IP Adresse von Fritz Box nicht aufl\366sen";
const char *const ringText = "Eingehender Anruf f\374r 5550001";
const char *const caller = "0301234567";
const char *const callerName = "Nachbar Gerd";
const char *const otherCaller = "0409876543";
const char *const otherName = "Tante Erna";

constexpr uint32_t startupDelay = 3000; // the default: 30 s
constexpr uint32_t minute = 6000;
constexpr uint32_t chunk = 32 * 1024; // fits the loopback receive buffer

class FaultMatrix;

struct Outcome {
    size_t losses;            // times "Verbindung zu Fritz Box unterbrochen" was shown
    const char *finalMessage; // the message the program ended with, or none
    bool resident;
    bool nextCallShown;
};

struct FaultCase {
    const char *name;
    std::function<void(FaultMatrix &)> play;
    Outcome outcome;
};

class FaultMatrix : public test::FirmwareTest, public ::testing::WithParamInterface<FaultCase>
{
  public:
    using FirmwareTest::fw;
    using FirmwareTest::journal;
    using FirmwareTest::receiver;

    void SetUp() override
    {
        FirmwareTest::SetUp();
        sim::network().setRouter("", router.port());
        writeAddressBook(std::string(caller) + " = " + callerName + "\n" + otherCaller + " = " + otherName + "\n");
        writeSettings("");
    }

    void start() { startProgramFile(RW_TAP_FILE); }
    void startConnected()
    {
        start();
        run(startupDelay + 1);
        ASSERT_EQ(connected(), 1u);
    }
    // One idle event per tick; the router takes new connections as they come.
    void run(uint32_t ticks)
    {
        receiver().run(ticks, [this] { router.acceptPending(); });
    }
    bool resident() { return receiver().resident(); }
    uint32_t tick() { return fw().clock.tick(); }

    size_t connected() { return journal().countPrints("Connected to fritz box\n"); }
    size_t shown(const std::string &text)
    {
        size_t n = 0;
        for (const auto &c : journal().calls())
            n += c.find("\"" + sim::escapeText(text) + "\"") != std::string::npos;
        return n;
    }
    size_t noted(const std::string &text) { return journal().dump().find(text) == std::string::npos ? 0 : 1; }

    int socket()
    {
        auto fds = sim::network().programSockets();
        return fds.size() == 1 ? *fds.begin() : -1;
    }
    static int waiting(int fd)
    {
        int n = 0;
        ::ioctl(fd, FIONREAD, &n);
        return n;
    }
    // The bytes are waiting on the program's socket when this returns.
    void send(const std::string &bytes)
    {
        router.acceptPending(std::chrono::milliseconds(router.hasClient() ? 0 : 500));
        int fd = socket();
        ASSERT_GE(fd, 0);
        int before = waiting(fd);
        ASSERT_TRUE(router.send(bytes));
        sim::network().waitReadable(fd, before + static_cast<int>(bytes.size()), 2000);
    }
    std::string ringLine(const char *from, int id = 0)
    {
        return router.stampedLine(fakerouter::ringFields(id, from, "5550001"));
    }
    void closeRouter()
    {
        int fd = socket();
        router.closeClients();
        sim::network().waitClosed(fd, 2000);
    }
    // A router that restarts: connections closed, requests refused.
    void rebootRouter()
    {
        closeRouter();
        router.setRefusing(true);
    }
    // A router that is away for `down` ticks, then takes connections again.
    void restartRouter(uint32_t down)
    {
        rebootRouter();
        run(down);
        router.setRefusing(false);
    }
    // A router that takes every connection and closes it at once, until
    // the program has ended or `ticks` have passed.
    void dropEveryConnection(uint32_t ticks)
    {
        for (uint32_t i = 0; i < ticks && resident(); ++i) {
            run(1);
            router.acceptPending();
            if (router.hasClient())
                closeRouter();
        }
    }

    // Sends in slices the socket can hold (`sendSlice` returns the bytes it
    // sent) and reads them with idle events, never more than 128 bytes in
    // one. Drawing is neither painted nor journalled meanwhile, and the
    // journal is emptied after each slice (no loss may be among what goes).
    void pour(const std::function<size_t(size_t)> &sendSlice, size_t slices)
    {
        fw().journalDrawing = false;
        fw().osd.setPixels(false);
        router.acceptPending(std::chrono::milliseconds(500));
        int fd = socket();
        ASSERT_GE(fd, 0);
        for (size_t i = 0; i < slices; ++i) {
            int before = waiting(fd);
            size_t bytes = sendSlice(i);
            sim::network().waitReadable(fd, before + static_cast<int>(bytes), 2000);
            for (int left = waiting(fd); left > 0;) {
                run(1);
                int now = waiting(fd);
                ASSERT_LE(left - now, 128) << "slice " << i;
                ASSERT_GT(left - now, 0) << "slice " << i;
                left = now;
            }
            ASSERT_EQ(shown(lossText), 0u);
            journal().clear();
        }
        fw().journalDrawing = true;
        fw().osd.setPixels(true);
    }

    // Connects again if need be (the program's own attempts, by its rules)
    // and rings; true when the ring is shown.
    bool nextCallShown()
    {
        for (uint32_t i = 0; i < 4 * startupDelay && socket() < 0 && resident(); ++i)
            run(1);
        if (socket() < 0)
            return false;
        size_t before = shown(ringText);
        send(ringLine(caller));
        run(1);
        return shown(ringText) == before + 1;
    }

    fakerouter::FakeRouter router{0};
};

// The connection of the program has stood a minute, which proves its
// settings right: its loss opens the recovery period.
void longConnection(FaultMatrix &m)
{
    m.startConnected();
    m.run(minute);
}

const FaultCase cases[] = {
    {"RouterCloses",
     [](FaultMatrix &m) {
         m.startConnected();
         m.closeRouter();
         m.run(100);
     },
     {1, nullptr, true, true}},
    {"RouterResets",
     [](FaultMatrix &m) {
         m.startConnected();
         int fd = m.socket();
         m.router.resetClients();
         sim::network().waitClosed(fd, 2000);
         m.run(100);
     },
     {1, nullptr, true, true}},
    {"RouterRefusesFromTheStart",
     [](FaultMatrix &m) {
         m.router.setRefusing(true);
         m.start();
         m.run(5 * startupDelay);
         EXPECT_EQ(m.journal().countPrints("Error connecting to fritz box\n"), 3u);
     },
     {0, finalText, false, false}},
    {"WrongHostNameAtStartupStillEnds",
     [](FaultMatrix &m) {
         sim::network().faults.resolveFails = true;
         m.start();
         m.run(startupDelay + 600);
     },
     {0, unresolvedText, false, false}},
    {"SilentButAliveRouterIsKept",
     [](FaultMatrix &m) {
         m.startConnected();
         m.router.setSilent(true);
         m.run(5 * minute);
         m.router.setSilent(false);
     },
     {0, nullptr, true, true}},
    {"VanishedRouterIsNoticedByKeepaliveAndRejoined",
     [](FaultMatrix &m) {
         m.startConnected();
         m.router.setSilent(true);
         sim::network().setRouterVanished(true);
         // idle 60 s + 3 probes 10 s apart, then the next peek
         m.run(9000 - 1);
         EXPECT_EQ(m.shown(lossText), 0u);
         m.run(100);
         EXPECT_EQ(m.shown(lossText), 1u);
         // The immediate attempt goes into the black hole and returns
         // after the 3 s send timeout; the next one comes 30 s later.
         EXPECT_EQ(m.noted("connect() into the vanished router returns after 300 ticks"), 1u);
         sim::network().setRouterVanished(false);
         m.router.setSilent(false);
         uint32_t failedAt = m.tick();
         while (m.connected() < 2 && m.tick() - failedAt < 2 * startupDelay)
             m.run(1);
         EXPECT_GT(m.tick() - failedAt, startupDelay - 100);
         EXPECT_LE(m.tick() - failedAt, startupDelay + 1);
     },
     {1, nullptr, true, true}},
    {"BlackHoleAtStartupBlocksThreeSecondsAnAttempt",
     [](FaultMatrix &m) {
         sim::network().setRouterVanished(true);
         m.start();
         // Attempts at 3001, 6302 and 9603 each block 300 ticks; the call at
         // 12904 shows the final message, which ends the program at 13404.
         m.run(20000);
         EXPECT_EQ(m.journal().countPrints("Error connecting to fritz box\n"), 3u);
         EXPECT_EQ(m.tick(), 4 * (startupDelay + 1) + 3 * 300u + 500u);
     },
     {0, finalText, false, false}},
    {"StallMidLineForAMinute",
     [](FaultMatrix &m) {
         m.startConnected();
         m.router.stall(m.ringLine(otherCaller));
         m.run(minute);
         EXPECT_EQ(m.shown(otherName), 0u);
         std::string rest = m.router.resume();
         sim::network().waitReadable(m.socket(), static_cast<int>(rest.size()), 2000);
         m.run(1);
         EXPECT_EQ(m.shown(otherName), 1u);
     },
     {0, nullptr, true, true}},
    {"DripOneBytePerIdleEvent",
     [](FaultMatrix &m) {
         m.startConnected();
         std::string line = m.ringLine(otherCaller);
         for (char byte : line) {
             EXPECT_EQ(m.shown(otherName), 0u);
             m.send(std::string(1, byte));
             m.run(1);
         }
         EXPECT_EQ(m.shown(otherName), 1u);
     },
     {0, nullptr, true, true}},
    {"NulByte",
     [](FaultMatrix &m) {
         m.startConnected();
         m.send(std::string(1, '\0'));
         m.run(1);
     },
     {0, nullptr, true, true}},
    {"OneMegabyteOfBinaryGarbage",
     [](FaultMatrix &m) {
         m.startConnected();
         m.pour([&](size_t i) { return m.router.sendGarbage(chunk, static_cast<uint32_t>(i + 1)).size(); },
                (1u << 20) / chunk);
         m.send("\n"); // the garbage's last line ends; the router's next one starts afresh
         m.run(1);
     },
     {0, nullptr, true, true}},
    {"TenMegabyteFloodOfValidLines",
     [](FaultMatrix &m) {
         m.startConnected();
         const std::string flood = fakerouter::floodPayload(10u << 20, "09.12.26 04:00:00");
         m.pour(
             [&](size_t i) {
                 std::string slice = flood.substr(i * chunk, chunk);
                 EXPECT_TRUE(m.router.send(slice));
                 return slice.size();
             },
             (flood.size() + chunk - 1) / chunk);
     },
     {0, nullptr, true, true}},
    {"FiveRestartsInTwentyMinutesAfterALongConnection",
     [](FaultMatrix &m) {
         // A minute away each, four minutes apart: every connection made
         // between them stands long enough for its loss to open the
         // recovery period again.
         longConnection(m);
         for (int restart = 0; restart < 5 && m.resident(); ++restart) {
             m.restartRouter(minute);
             m.run(3 * minute);
         }
         EXPECT_EQ(m.connected(), 6u);
     },
     {5, nullptr, true, true}},
    {"TwoMinuteRebootThreeMinutesAfterConnecting",
     [](FaultMatrix &m) {
         m.startConnected();
         m.run(3 * minute);
         m.restartRouter(2 * minute);
         EXPECT_EQ(m.journal().countPrints("Error connecting to fritz box\n"), 4u);
     },
     {1, nullptr, true, true}},
    {"RebootAfterElevenMinutesAndAnotherThreeMinutesLater",
     [](FaultMatrix &m) {
         m.startConnected();
         m.run(11 * minute);
         m.restartRouter(4000);
         m.run(3 * minute);
         m.restartRouter(4000);
     },
     {2, nullptr, true, true}},
    {"RebootWithinTheFirstMinuteCountsItsAttempts",
     [](FaultMatrix &m) {
         // 40 s away, 35 s after connecting: the short connection proves
         // nothing, so the loss and the two refused attempts use all three.
         m.startConnected();
         m.run(3500);
         m.restartRouter(4000);
         m.run(2 * startupDelay);
         EXPECT_EQ(m.journal().countPrints("Error connecting to fritz box\n"), 2u);
     },
     {1, finalText, false, false}},
    {"RouterClosingEveryConnectionAtOnceEndsAfterThreeAttempts",
     [](FaultMatrix &m) {
         m.start();
         m.dropEveryConnection(5 * startupDelay);
         EXPECT_EQ(m.connected(), 3u);
     },
     {3, finalText, false, false}},
    {"RouterClosingEveryConnectionAfterALongOneStillEnds",
     [](FaultMatrix &m) {
         longConnection(m);
         m.dropEveryConnection(5 * startupDelay);
         EXPECT_EQ(m.connected(), 4u);
     },
     {4, finalText, false, false}},
    {"ThreeMinuteRebootWithTheNameGoneForTwoIsSurvived",
     [](FaultMatrix &m) {
         longConnection(m);
         m.rebootRouter();
         sim::network().faults.resolveFails = true;
         m.run(2 * minute);
         sim::network().faults.resolveFails = false;
         m.run(minute);
         m.router.setRefusing(false);
         m.run(startupDelay + 1);
         EXPECT_EQ(m.connected(), 2u);
         EXPECT_EQ(m.shown(unresolvedText), 0u);
     },
     {1, nullptr, true, true}},
    {"RouterAwayForFifteenMinutesEndsAfterTheRecoveryPeriod",
     [](FaultMatrix &m) {
         longConnection(m);
         m.rebootRouter();
         uint32_t lostAt = m.tick();
         m.run(10 * minute);
         EXPECT_TRUE(m.resident());
         m.run(5 * minute);
         // After the ten minutes, three attempts 30 s apart, the final call
         // and its five seconds.
         EXPECT_LE(m.tick() - lostAt, 10 * minute + 4 * (startupDelay + 1) + 500 + 2 * startupDelay);
     },
     {1, finalText, false, false}},
    {"LineCutByTheLossIsNotGluedOntoTheNext",
     [](FaultMatrix &m) {
         m.startConnected();
         std::string line = m.ringLine(otherCaller);
         m.send(line.substr(0, line.size() / 2));
         m.run(1);
         m.closeRouter();
         m.run(100);
         ASSERT_EQ(m.connected(), 2u);
         m.send(m.ringLine(caller));
         m.run(1);
         EXPECT_EQ(m.shown(callerName), 1u);
         EXPECT_EQ(m.shown(otherName), 0u);
     },
     {1, nullptr, true, true}},
    {"HeapRunsOutWhileLoading",
     [](FaultMatrix &m) {
         m.fw().heap.failFrom(5);
         m.start();
         EXPECT_EQ(m.shown("Nicht genug Speicher f\374r alle Adressbucheintr\344ge verf\374gbar"), 1u);
         m.fw().heap.failFrom(0);
         m.run(startupDelay + 1);
     },
     {0, nullptr, true, true}},
    {"HeapRunsOutDuringCalls",
     [](FaultMatrix &m) {
         m.startConnected();
         m.fw().heap.failFrom(m.fw().heap.allocationCount() + 1);
         m.send(m.ringLine(otherCaller, 1));
         m.send(m.router.stampedLine(fakerouter::disconnectFields(1, 0)));
         m.run(1);
         EXPECT_EQ(m.shown(otherName), 1u);
     },
     {0, nullptr, true, true}},
    {"TickWrapsDuringACall",
     [](FaultMatrix &m) {
         m.fw().clock.startVirtual(0xFFFFFFFFu - 5000u, sim::defaultWallStart);
         m.startConnected();
         m.send(m.ringLine(otherCaller, 2));
         m.run(1);
         m.run(2500); // the counter wraps while the call goes on
         EXPECT_LT(m.tick(), 1000u);
         m.send(m.router.stampedLine(fakerouter::disconnectFields(2, 65)));
         m.run(1);
         EXPECT_EQ(m.shown("00:01:05"), 1u);
         m.run(598);
         EXPECT_EQ(m.fw().osd.regionCount(), 1u);
         m.run(2);
         EXPECT_EQ(m.fw().osd.regionCount(), 0u);
     },
     {0, nullptr, true, true}},
    {"TickWrapsWhileTheBarIsShown",
     [](FaultMatrix &m) {
         m.fw().clock.startVirtual(0xFFFFFFFFu - 5000u, sim::defaultWallStart);
         m.startConnected();
         m.send(m.ringLine(otherCaller, 2));
         m.run(1);
         m.run(0xFFFFFFFFu - 300u - m.tick());
         m.send(m.router.stampedLine(fakerouter::disconnectFields(2, 65)));
         m.run(1);
         EXPECT_EQ(m.shown("00:01:05"), 1u);
         m.run(400); // the counter wraps while the bar is up
         EXPECT_LT(m.tick(), 1000u);
         EXPECT_EQ(m.fw().osd.regionCount(), 1u);
         m.run(200);
         EXPECT_EQ(m.fw().osd.regionCount(), 0u);
     },
     {0, nullptr, true, true}},
    {"TickWrapsDuringTheStartupDelay",
     [](FaultMatrix &m) {
         m.fw().clock.startVirtual(0xFFFFFFFFu - 1000u, sim::defaultWallStart);
         m.start();
         m.run(startupDelay);
         EXPECT_EQ(m.journal().countPrints("Opening socket\n"), 0u);
         m.run(1);
         EXPECT_EQ(m.connected(), 1u);
     },
     {0, nullptr, true, true}},
    {"TickWrapsDuringTheRecoveryPeriod",
     [](FaultMatrix &m) {
         m.fw().clock.startVirtual(0xFFFFFFFFu - 4 * minute, sim::defaultWallStart);
         longConnection(m);
         m.rebootRouter();
         sim::network().faults.resolveFails = true;
         m.run(9 * minute); // wraps three minutes in
         EXPECT_LT(m.tick(), 10 * minute);
         EXPECT_TRUE(m.resident());
         sim::network().faults.resolveFails = false;
         m.router.setRefusing(false);
         m.run(startupDelay + 1);
         EXPECT_EQ(m.connected(), 2u);
     },
     {1, nullptr, true, true}},
};

void PrintTo(const FaultCase &c, std::ostream *out)
{
    *out << c.name;
}

TEST_P(FaultMatrix, UserSees)
{
    const FaultCase &c = GetParam();
    c.play(*this);
    if (HasFatalFailure())
        return;
    const Outcome &o = c.outcome;
    EXPECT_EQ(shown(lossText), o.losses);
    for (const char *text : {finalText, unresolvedText})
        EXPECT_EQ(shown(text) > 0, o.finalMessage == text) << text;
    EXPECT_EQ(resident(), o.resident);
    if (o.finalMessage) // a final message ends the program after its five seconds
        EXPECT_TRUE(journal().hasPrint("TAP STOPPED!!\n"));
    if (resident())
        EXPECT_EQ(nextCallShown(), o.nextCallShown);
    if (resident())
        receiver().stop();
    EXPECT_TRUE(leaks().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<FaultCase> &info) { return info.param.name; });

} // namespace
