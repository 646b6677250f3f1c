// The fake router's player on a clock the test turns by hand, over a transport kept in memory: scripts,
// loops, commands for later, the ends of timed refusals and the bytes of a drip, each at its millisecond,
// and a flood's pieces. Also the time words and text escapes that every script shares.
#include "fakerouter/commands.h"
#include "fakerouter/player.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

namespace
{

using namespace fakerouter;
using namespace std::chrono_literals;

// The router's clients as a test sees them: what was written while one was connected, and the state.
class MemoryTransport : public Transport
{
  public:
    std::size_t arriving = 0; // connections the next acceptPending takes
    std::size_t clients = 0;
    bool refusingNow = false;
    std::string written;
    int closes = 0;
    std::size_t room = std::string::npos; // bytes it takes before it takes no more, like a full buffer
    std::size_t writes = 0, largestWrite = 0;

    bool acceptPending(std::chrono::milliseconds) override
    {
        std::size_t came = refusingNow ? 0 : arriving;
        arriving = 0;
        clients += came;
        return came > 0;
    }
    std::size_t clientCount() const override { return clients; }
    std::size_t write(std::string_view bytes, std::chrono::milliseconds) override
    {
        ++writes;
        largestWrite = std::max(largestWrite, bytes.size());
        std::size_t taken = std::min(bytes.size(), room);
        if (clients > 0)
            written += bytes.substr(0, taken);
        if (room != std::string::npos)
            room -= taken;
        return taken;
    }
    void closeClients() override { clients = 0, ++closes; }
    void resetClients() override { clients = 0, ++closes; }
    void setRefusing(bool refusing) override { refusingNow = refusing; }
    bool refusing() const override { return refusingNow; }
    std::string address() const override { return "memory"; }
};

// How many router lines of one event word were written so far.
std::size_t count(const std::string &written, const std::string &word)
{
    std::size_t n = 0;
    for (auto at = written.find(";" + word + ";"); at != std::string::npos; at = written.find(";" + word + ";", at + 1))
        ++n;
    return n;
}

class PlayerTest : public testing::Test
{
  protected:
    PlayerTest()
    {
        auto owned = std::make_unique<MemoryTransport>();
        net = owned.get();
        router = std::make_unique<FakeRouter>(std::move(owned));
        router->setClock([] { return std::time_t{0}; });
        player = std::make_unique<Player>(*router);
        player->setListener([this](const std::string &text) { reports.push_back(text); });
    }

    bool reported(const std::string &text) const
    {
        return std::find(reports.begin(), reports.end(), text) != reports.end();
    }

    MemoryTransport *net = nullptr;
    std::unique_ptr<FakeRouter> router;
    std::unique_ptr<Player> player;
    std::vector<std::string> reports;
};

TEST(TimeWords, MeanTheSameInEveryScript)
{
    const std::pair<const char *, std::optional<std::chrono::milliseconds>> cases[] = {
        {"2", 2000ms},         {"0.01", 10ms},         {"2.5s", 2500ms},     {"300ms", 300ms},   {"1m", 60s},
        {"10min", 600s},       {"1h", 3600s},          {"24h", 86400s},      {"0", 0ms},         {"-1", std::nullopt},
        {"25h", std::nullopt}, {"soon", std::nullopt}, {"2d", std::nullopt}, {"", std::nullopt},
    };
    for (const auto &[word, expected] : cases)
        EXPECT_EQ(parseDuration(word), expected) << word;
}

TEST(TextEscapes, OneRuleForEveryText)
{
    const std::pair<const char *, std::string> cases[] = {
        {R"(a\r\n\t\\b)", "a\r\n\t\\b"},   {R"(say \"hi\")", "say \"hi\""}, {R"(M\374ller)", "M\374ller"},
        {R"(\0x)", std::string("\0x", 2)}, {R"(\x41\x4a)", "AJ"},
    };
    for (const auto &[text, bytes] : cases)
        EXPECT_EQ(unescape(text), bytes) << text;
    for (const char *bad : {R"(\q)", R"(ends\)", R"(\400)", R"(\xZ1)"})
        EXPECT_THROW(unescape(bad), SyntaxError) << bad;
}

TEST_F(PlayerTest, ScriptStepsComeAtTheirTime)
{
    struct Case {
        const char *script;
        std::vector<std::pair<int, std::size_t>> ringsAt; // ms on the clock, RING lines by then
    };
    const Case cases[] = {
        {"wait 2\nring 0 1 2\n", {{1999, 0}, {2000, 1}, {9000, 1}}},
        {"wait 0.5\nring 0 1 2\nwait 500ms\nring 1 1 2\n", {{499, 0}, {500, 1}, {999, 1}, {1000, 2}}},
        {"at 1\nring 0 1 2\nat 3\nring 1 1 2\n", {{1000, 1}, {2999, 1}, {3000, 2}}},
        // Steps late for their time all come at once; the later ones keep their own time.
        {"wait 1\nring 0 1 2\nwait 1\nring 1 1 2\nwait 1\nring 2 1 2\n", {{2500, 2}, {2999, 2}, {3000, 3}}},
    };
    for (const Case &c : cases) {
        net->written.clear();
        net->clients = 1;
        player->play(parseScript(c.script), 0ms);
        for (const auto &[at, rings] : c.ringsAt) {
            player->advance(Time(at));
            EXPECT_EQ(count(net->written, "RING"), rings) << c.script << "at " << at << " ms";
        }
        EXPECT_TRUE(player->scriptFinished()) << c.script;
        EXPECT_EQ(player->nextDue(), std::nullopt);
    }
}

TEST_F(PlayerTest, WaitClientCountsFromTheClientsArrival)
{
    player->play(parseScript("wait client\nwait 0.1\nring 3 0301234567 5550001\n"), 0ms);
    player->advance(5000ms);
    EXPECT_TRUE(reported("script waits for a client"));
    EXPECT_EQ(player->nextDue(), std::nullopt) << "only a client brings work";
    net->arriving = 1;
    player->advance(6000ms);
    EXPECT_EQ(player->clients(), 1u);
    EXPECT_EQ(player->nextDue(), Time(6100));
    player->advance(6099ms);
    EXPECT_EQ(net->written, "");
    player->advance(6100ms);
    EXPECT_TRUE(startsWithTimestamp(net->written)) << net->written;
    EXPECT_TRUE(net->written.ends_with(";RING;3;0301234567;5550001;SIP0;\r\n")) << net->written;
    EXPECT_EQ(count(net->written, "RING"), 1u);
    EXPECT_EQ(player->lineStates()[3], "ring");
    EXPECT_TRUE(reported("script finished"));
}

TEST_F(PlayerTest, ALoopedScriptStartsAgainWithoutSpinning)
{
    net->clients = 1;
    player->play(parseScript("wait 1\nring 0 1 2\nwait 1\ndisconnect 0 0\n"), 0ms, true);
    for (int second = 1; second <= 6; ++second)
        player->advance(Time(second * 1000));
    EXPECT_EQ(count(net->written, "RING"), 3u);
    EXPECT_EQ(count(net->written, "DISCONNECT"), 3u);
    EXPECT_FALSE(player->scriptFinished());
    EXPECT_TRUE(reported("script finished; it starts again"));

    // A script of no waits plays once per turn, not forever within one.
    net->written.clear();
    player->play(parseScript("ring 0 1 2\n"), 0ms, true);
    player->advance(0ms);
    player->advance(0ms);
    EXPECT_EQ(count(net->written, "RING"), 2u);

    player->play(parseScript("wait 1\nring 0 1 2\n"), 10'000ms, true);
    player->replay(20'000ms);
    EXPECT_EQ(player->nextDue(), Time(21'000));
}

TEST_F(PlayerTest, TimedRefusalsAndSilencesEndOnTheClock)
{
    // refuse N and silent N last N seconds from when they were carried out.
    for (const auto &[typed, startMs, endMs] :
         std::vector<std::tuple<const char *, int, int>>{{"refuse 2", 0, 2000}, {"refuse 0.25", 100, 350}}) {
        if (startMs == 0)
            player->submit(typed, 0ms);
        else
            EXPECT_EQ(player->schedule(typed, 0ms, Time(startMs)).rfind("in 0.1 s: refuse", 0), 0u);
        player->advance(Time(startMs));
        EXPECT_TRUE(net->refusing()) << typed;
        player->advance(Time(endMs - 1));
        EXPECT_TRUE(net->refusing()) << typed;
        EXPECT_EQ(player->nextDue(), Time(endMs)) << typed;
        player->advance(Time(endMs));
        EXPECT_FALSE(net->refusing()) << typed;
        EXPECT_FALSE(player->timersPending());
    }

    net->clients = 1;
    player->play(parseScript("wait 1\nsilent 1.5\nring 0 1 2\nwait 1\nring 1 1 2\nwait 1\nring 2 1 2\n"), 0ms);
    for (int ms = 0; ms <= 3000; ms += 100)
        player->advance(Time(ms));
    EXPECT_EQ(count(net->written, "RING"), 1u) << "the first two fell into the silence" << net->written;
    EXPECT_FALSE(router->silent());
}

TEST_F(PlayerTest, ConsoleCommandsReportAndKeepLineStates)
{
    net->clients = 1;
    EXPECT_NE(player->submit("call 1 4 5550001 0301234567", 0ms).find("sent"), std::string::npos);
    EXPECT_EQ(player->lineStates()[1], "call");
    EXPECT_EQ(player->submit("ring", 0ms).rfind("error:", 0), 0u);
    EXPECT_EQ(player->submit("fly to the moon", 0ms).rfind("error:", 0), 0u);
    EXPECT_EQ(player->schedule("fly", 0ms, 0ms).rfind("error:", 0), 0u);

    EXPECT_EQ(player->schedule("disconnect 1 0", 0ms, 200ms).rfind("in 0.2 s", 0), 0u);
    player->advance(199ms);
    EXPECT_EQ(player->lineStates()[1], "call") << "not before its time";
    player->advance(200ms);
    EXPECT_EQ(player->lineStates()[1], "idle");
    // Ids the states have no place for are sent all the same.
    player->submit("ring 9 1 2", 0ms);
    player->submit("ring -1 1 2", 0ms);
    EXPECT_EQ(count(net->written, "RING"), 2u);
    EXPECT_EQ(player->lineStates(), std::vector<std::string>(8, "idle"));

    player->setQuitAllowed(false);
    EXPECT_EQ(player->submit("quit", 0ms).find("error"), std::string::npos);
    EXPECT_FALSE(player->quitRequested());
    player->setQuitAllowed(true);
    EXPECT_EQ(player->submit("quit", 0ms), "bye");
    EXPECT_TRUE(player->quitRequested());
    EXPECT_NE(player->submit("status", 0ms).find("1 client"), std::string::npos) << "still serving";
}

TEST_F(PlayerTest, APerformerSeesEveryCommandOnce)
{
    std::vector<Action> seen;
    player->setPerformer([&](const Command &command) {
        seen.push_back(command.action);
        return perform(*router, command);
    });
    player->play(parseScript("wait client\nrefuse 1\ndrip 1ms raw ab\nclose\n"), 0ms);
    net->arriving = 1;
    player->advance(0ms);
    player->advance(1000ms);
    EXPECT_EQ(seen,
              (std::vector<Action>{Action::Refuse, Action::Drip, Action::Close, Action::DripNext, Action::Listen}));
    EXPECT_EQ(net->closes, 1);
}

TEST_F(PlayerTest, DripSendsAByteNowAndEachNextOneItsDelayLater)
{
    struct Case {
        const char *typed;
        std::vector<std::pair<int, const char *>> writtenAt; // ms on the clock, bytes written by then
    };
    const Case cases[] = {
        {"drip 10ms raw abc", {{0, "a"}, {9, "a"}, {10, "ab"}, {19, "ab"}, {20, "abc"}, {500, "abc"}}},
        {"drip raw ab", {{99, "a"}, {100, "ab"}}},
        // Bytes late for their time all come at once, each a write of its own.
        {"drip 10ms raw abcd", {{35, "abcd"}}},
        {"drip 0 raw abc", {{0, "abc"}}},
        {"drip 1s raw x", {{0, "x"}}},
    };
    net->clients = 1;
    for (const Case &c : cases) {
        net->written.clear();
        net->writes = 0;
        reports.clear();
        std::string started = player->submit(c.typed, 0ms);
        EXPECT_EQ(net->written, std::string(c.typed).substr(std::string(c.typed).rfind(' ') + 1, 1)) << c.typed;
        for (const auto &[at, bytes] : c.writtenAt) {
            player->advance(Time(at));
            EXPECT_EQ(net->written, bytes) << c.typed << " at " << at << " ms";
        }
        EXPECT_EQ(net->writes, net->written.size()) << c.typed;
        EXPECT_FALSE(player->timersPending()) << c.typed;
        std::string end = "sent \"" + net->written + "\" byte by byte to 1 client";
        EXPECT_TRUE(reported(end)) << c.typed;
        EXPECT_EQ(started == end, net->written.size() == 1) << started;
        EXPECT_EQ(std::count_if(reports.begin(), reports.end(), [](const std::string &r) { return r.empty(); }), 0);
    }
    EXPECT_EQ(player->submit("drip 10ms raw abc", 0ms), "dripping 3 bytes \"abc\" to 1 client, 0.01s apart");
    EXPECT_EQ(player->nextDue(), Time(10));
    EXPECT_NE(player->submit("status", 0ms).find(", 2 bytes left to drip"), std::string::npos);
}

TEST_F(PlayerTest, ALaterDripReplacesOneUnderWay)
{
    net->clients = 1;
    player->submit("drip 10ms raw abc", 0ms);
    player->advance(10ms);
    player->submit("drip 10ms raw xy", 15ms);
    EXPECT_EQ(net->written, "abx");
    player->advance(24ms);
    EXPECT_EQ(net->written, "abx") << "the first drip's next byte went with it";
    EXPECT_EQ(player->nextDue(), Time(25));
    player->advance(25ms);
    EXPECT_EQ(net->written, "abxy");
    EXPECT_FALSE(player->timersPending());
    Command next;
    next.action = Action::DripNext;
    EXPECT_EQ(perform(*router, next), "nothing left to drip");
}

TEST_F(PlayerTest, FloodWritesBoundedPiecesUntilTheTransportTakesNoMore)
{
    struct Case {
        std::size_t room;
        std::size_t asked;
        std::size_t taken; // npos: all of floodPayload(asked)
        std::size_t writes;
    };
    const Case cases[] = {
        {std::string::npos, 1u << 20, std::string::npos, 16},
        {std::string::npos, 100, std::string::npos, 1},
        {100'000, 1024u << 20, 100'000, 2},
        {0, 1024u << 20, 0, 1},
    };
    for (const Case &c : cases) {
        net->clients = 1;
        net->written.clear();
        net->room = c.room;
        net->writes = net->largestWrite = 0;
        std::size_t taken = router->flood(c.asked, 10s);
        std::string whole = floodPayload(std::min(c.asked, std::size_t{2} << 20), routerTimestamp(0));
        EXPECT_EQ(taken, c.taken == std::string::npos ? whole.size() : c.taken) << c.asked;
        EXPECT_EQ(net->written, whole.substr(0, taken)) << c.asked;
        EXPECT_EQ(net->writes, c.writes) << c.asked;
        EXPECT_LE(net->largestWrite, floodPiece + 128) << c.asked;
    }
}

} // namespace
