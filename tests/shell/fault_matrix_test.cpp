// What the field does to the router connection, one case a row: the program
// file in virtual time against the fake router over loopback TCP. Each row
// plays its fault and states what the user sees: the loss message shown how
// often, the final message, the program resident or ended, and, when it is
// resident, whether the next call is shown.
#include "fault_matrix.h"

namespace
{

using namespace faultmatrix;

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
