// The router connection over real loopback TCP with the fake router, in
// virtual time: the start-up delay, attempts, failures, loss and reconnect,
// the end of the program when no connection can be had, and bounded reads.
#include <algorithm>

#include "events/fritzbox.h"
#include "fakerouter/fakeRouter.h"
#include "firmware_fixture.h"
#include "shell/ringwatcher.h"
#include "shell/routerConnection.h"

namespace
{

const char *const lossText = "Verbindung zu Fritz Box unterbrochen";
const char *const finalText = "keine Verbindung zu Fritz Box, Tap wird beendet";

class ConnectionTest : public test::FirmwareTest
{
  protected:
    void SetUp() override
    {
        FirmwareTest::SetUp();
        sim::network().setRouter("", router.port());
        writeAddressBook("");
    }
    void start(const std::string &settings)
    {
        writeSettings(settings);
        startProgram();
    }
    // One idle event per tick; the router takes new connections as they come.
    void run(uint32_t ticks)
    {
        receiver().run(ticks, [this] { router.acceptPending(); });
    }
    // Jump the clock without idle events, then hand the program one.
    void jump(uint32_t ticks)
    {
        fw().clock.advance(ticks);
        router.acceptPending();
        receiver().idle();
    }
    void sendAndSettle(const std::string &bytes)
    {
        router.acceptPending(std::chrono::milliseconds(500));
        ASSERT_TRUE(router.send(bytes));
        ASSERT_GE(sockfd, 0);
        sim::network().waitReadable(sockfd, static_cast<int>(bytes.size()), 2000);
    }
    void settleClose() { sim::network().waitReadable(sockfd, 1 << 20, 2000); }
    size_t count(const std::string &line) { return journal().countPrints(line); }
    size_t shown(const std::string &text)
    {
        size_t n = 0;
        for (const auto &c : journal().calls())
            n += c.find("\"" + sim::escapeText(text) + "\"") != std::string::npos;
        return n;
    }
    void finish()
    {
        if (receiver().resident())
            receiver().stop();
        EXPECT_TRUE(leaks().empty());
    }

    fakerouter::FakeRouter router{0};
};

TEST_F(ConnectionTest, FirstAttemptComesAfterMoreThanTheStartupDelay)
{
    start("");
    run(3000);
    EXPECT_EQ(count("Opening socket\n"), 0u);
    run(1);
    EXPECT_EQ(count("Opening socket\n"), 1u);
    EXPECT_EQ(count("Connecting to fritz box\n"), 1u);
    EXPECT_EQ(count("Connected to fritz box\n"), 1u);
    EXPECT_GE(sockfd, 0);
    finish();
}

TEST_F(ConnectionTest, ZeroDelayConnectsOnceTheTickHasMoved)
{
    start("StartupConnectDelay = 0\n");
    receiver().idle(); // same tick as start-up: not yet
    EXPECT_EQ(count("Opening socket\n"), 0u);
    run(1);
    EXPECT_GE(sockfd, 0);
    finish();
}

TEST_F(ConnectionTest, NegativeDelayWaitsMoreThan248Days)
{
    start("StartupConnectDelay = -1\n"); // -100 ticks: 2^32 - 100 as unsigned
    jump(0x7FFFFFFFu);
    EXPECT_EQ(count("Opening socket\n"), 0u);
    jump(0x7FFFFFFFu - 200u);
    EXPECT_EQ(count("Opening socket\n"), 0u);
    jump(200);
    EXPECT_EQ(count("Opening socket\n"), 1u);
    finish();
}

TEST_F(ConnectionTest, TickWrapNeitherHastensNorMissesTheAttempt)
{
    fw().clock.startVirtual(0xFFFFFFFFu - 1000u, sim::defaultWallStart);
    start("");
    run(3000); // the tick counter wraps in between
    EXPECT_EQ(count("Opening socket\n"), 0u);
    run(1);
    EXPECT_EQ(count("Opening socket\n"), 1u);
    EXPECT_LT(fw().clock.tick(), 3000u);
    finish();
}

TEST_F(ConnectionTest, FailedConnectRetriesAfterTheDelayFromTheFailure)
{
    start("StartupConnectDelay = 10\n"); // 1000 ticks
    sim::network().faults.connectRefused = true;
    run(1001);
    EXPECT_EQ(count("Error connecting to fritz box\n"), 1u);
    EXPECT_EQ(sockfd, -1);
    EXPECT_EQ(fw().osd.regionCount(), 0u);
    EXPECT_EQ(startTick, 1001u);
    run(1000);
    EXPECT_EQ(count("Opening socket\n"), 1u);
    sim::network().faults.connectRefused = false;
    run(1);
    EXPECT_EQ(count("Connected to fritz box\n"), 1u);
    finish();
}

TEST_F(ConnectionTest, SocketThatCannotBeCreated)
{
    start("StartupConnectDelay = 0\n");
    sim::network().faults.socketFails = true;
    run(1);
    auto p = prints();
    EXPECT_EQ(p.rbegin()[1], "Opening socket\n");
    EXPECT_EQ(p.rbegin()[0], "Error opening Socket");
    EXPECT_EQ(sockfd, -1);
    EXPECT_EQ(forceExit, 0);
    finish();
}

TEST_F(ConnectionTest, RefusingRouterUsesUpTheAttemptsAndEndsTheProgram)
{
    start("StartupConnectDelay = 6\n"); // 600 ticks, longer than the final message's 500
    router.setRefusing(true);
    // Attempts at 601, 1202 and 1803 fail; the call at 2404 shows the final
    // message, which times out at 2904, before another call falls due.
    run(2403);
    EXPECT_EQ(count("Error connecting to fritz box\n"), 3u);
    EXPECT_EQ(shown(finalText), 0u);
    run(1);
    EXPECT_EQ(shown(finalText), 1u);
    EXPECT_EQ(count("Opening socket\n"), 3u);
    EXPECT_EQ(sockfd, -2);
    EXPECT_EQ(forceExit, 1);
    run(499);
    EXPECT_TRUE(receiver().resident());
    run(1);
    EXPECT_FALSE(receiver().resident());
    EXPECT_EQ(prints().back(), "TAP STOPPED!!\n");
    EXPECT_TRUE(leaks().empty());
}

TEST_F(ConnectionTest, LossByFailingQueryReconnectsAtOnceWhenTheDelayHasPassed)
{
    start("StartupConnectDelay = 0\n");
    run(1);
    ASSERT_GE(sockfd, 0);
    sim::network().faults.fionreadFails = true;
    run(1);
    EXPECT_EQ(shown(lossText), 1u);
    EXPECT_EQ(sockfd, -1);
    sim::network().faults.fionreadFails = false;
    run(1);
    EXPECT_EQ(count("Connected to fritz box\n"), 2u);
    EXPECT_EQ(retryCnt, 2);
    finish();
}

TEST_F(ConnectionTest, ThreeLossesThenTheFinalMessageWithoutTrying)
{
    // A delay longer than the final message's 500 ticks, so that no further
    // call shows it again before it times out.
    start("StartupConnectDelay = 6\n");
    run(600);
    for (int i = 0; i < 3; ++i) {
        run(1);
        ASSERT_GE(sockfd, 0) << i;
        sim::network().faults.fionreadFails = true;
        run(1);
        sim::network().faults.fionreadFails = false;
    }
    EXPECT_EQ(shown(lossText), 3u);
    run(1);
    EXPECT_EQ(count("Opening socket\n"), 3u);
    EXPECT_EQ(shown(finalText), 1u);
    EXPECT_EQ(forceExit, 1);
    run(500);
    EXPECT_FALSE(receiver().resident());
    EXPECT_TRUE(leaks().empty());
}

TEST_F(ConnectionTest, ShortStartupDelayKeepsShowingTheFinalMessage)
{
    start("StartupConnectDelay = 2\n"); // 200 ticks, shorter than the 500 of the message
    router.setRefusing(true);
    run(5000);
    EXPECT_TRUE(receiver().resident());
    EXPECT_GT(shown(finalText), 5u);
    finish();
}

TEST_F(ConnectionTest, OrderlyCloseByTheRouterIsALossWithinOneSecond)
{
    start("StartupConnectDelay = 0\n");
    run(1);
    ASSERT_GE(sockfd, 0);
    run(10);
    router.closeClients();
    settleClose();
    run(100);
    EXPECT_EQ(shown(lossText), 1u);
    EXPECT_EQ(count("Connected to fritz box\n"), 2u);
    finish();
}

TEST_F(ConnectionTest, ResetByTheRouterIsALossWithinOneSecond)
{
    start("StartupConnectDelay = 0\n");
    run(1);
    ASSERT_GE(sockfd, 0);
    run(10);
    router.resetClients();
    settleClose();
    run(100);
    EXPECT_EQ(shown(lossText), 1u);
    finish();
}

TEST_F(ConnectionTest, BytesBeforeACloseAreStillRead)
{
    start("StartupConnectDelay = 0\n");
    run(1);
    sendAndSettle("x;RING;0;0301234;5550001;SIP0;\r\n");
    router.closeClients();
    settleClose();
    run(100);
    EXPECT_EQ(shown("Eingehender Anruf f\374r 5550001"), 1u);
    EXPECT_EQ(shown(lossText), 1u);
    finish();
}

// A connection proves the settings right once it has stood a minute: lost
// after that, its attempt is given back; lost sooner, it keeps counting.
TEST_F(ConnectionTest, ConnectionLostWithinItsFirstMinuteUsesItsAttempt)
{
    start("StartupConnectDelay = 6\n");
    run(601);
    run(5900); // the loss is noticed within 20 ticks, before the minute is full
    router.closeClients();
    settleClose();
    run(100);
    EXPECT_EQ(shown(lossText), 1u);
    EXPECT_EQ(retryCnt, 2);
    finish();
}

TEST_F(ConnectionTest, LongConnectionGivesItsAttemptBack)
{
    start("StartupConnectDelay = 6\n");
    run(601);
    run(6000); // a minute connected
    router.closeClients();
    settleClose();
    run(100);
    EXPECT_EQ(retryCnt, 1); // the count started again and the reconnect took one
    // Three quick losses after that still end the program.
    for (int i = 0; i < 2; ++i) {
        router.closeClients();
        settleClose();
        run(100);
    }
    router.closeClients();
    settleClose();
    run(100);
    EXPECT_EQ(shown(finalText), 1u);
    run(600);
    EXPECT_FALSE(receiver().resident());
}

TEST_F(ConnectionTest, WaitingBytesAreReadAtMost128PerIdleEvent)
{
    start("StartupConnectDelay = 0\n");
    run(1);
    // No newline: every ";" moves the parser one field on.
    sendAndSettle(std::string(300, ';'));
    receiver().idle();
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 128);
    receiver().idle();
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 256);
    receiver().idle();
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 300);
    receiver().idle();
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 300);
    finish();
}

TEST_F(ConnectionTest, NulByteEndsTheTextOfItsRead)
{
    start("StartupConnectDelay = 0\n");
    run(1);
    sendAndSettle(std::string(";;") + '\0' + ";;;");
    receiver().idle();
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 2);
    finish();
}

TEST_F(ConnectionTest, StopClosesTheSocket)
{
    start("StartupConnectDelay = 0\n");
    run(1);
    ASSERT_GE(sockfd, 0);
    receiver().stop();
    EXPECT_EQ(sockfd, -1);
    EXPECT_TRUE(leaks().empty());
}

} // namespace
