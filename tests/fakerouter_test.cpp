// The fake FritzBox call monitor over real loopback TCP, seen from a plain client socket, and its
// command and script language.
#include "fakerouter/commands.h"
#include "fakerouter/fakeRouter.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

using namespace fakerouter;
using namespace std::chrono_literals;

std::time_t localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

// A client as the receiver program is one: a blocking IPv4 socket that connects and reads.
class Client
{
  public:
    explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            error_ = errno;
    }
    ~Client() { ::close(fd_); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    int connectError() const { return error_; }

    bool readable(std::chrono::milliseconds wait = 0ms) const
    {
        pollfd watch{fd_, POLLIN, 0};
        return ::poll(&watch, 1, static_cast<int>(wait.count())) > 0;
    }

    // Up to `count` bytes, stopping early at end of stream, an error or a second without data.
    std::string read(std::size_t count)
    {
        std::string bytes;
        char buffer[65536];
        while (bytes.size() < count && readable(1000ms)) {
            ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

    std::string readToEnd() { return read(std::string::npos); }

    // One recv after waiting for the socket: its result, and errno when it failed.
    std::pair<ssize_t, int> recvOnce()
    {
        readable(1000ms);
        char buffer[256];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return {n, n < 0 ? errno : 0};
    }

    void hangUp()
    {
        ::close(fd_);
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    }

  private:
    int fd_;
    int error_ = 0;
};

// Commands as a test expects them; the fields not named keep their defaults.
Command command(Action action, std::string text = {}, bool asIs = false)
{
    Command expected;
    expected.action = action;
    expected.text = std::move(text);
    expected.asIs = asIs;
    return expected;
}

Command counted(Command expected, std::size_t count, std::uint32_t seed = 0)
{
    expected.count = count;
    expected.seed = seed;
    return expected;
}

Command lasting(Command expected, std::chrono::milliseconds duration)
{
    expected.duration = duration;
    return expected;
}

class FakeRouterTest : public testing::Test
{
  protected:
    FakeRouterTest()
    {
        router.setClock([] { return eventTime(); });
    }

    static std::time_t eventTime() { return localTime(2026, 12, 8, 18, 30, 5); }

    std::unique_ptr<Client> connected()
    {
        auto client = std::make_unique<Client>(router.port());
        EXPECT_EQ(client->connectError(), 0);
        EXPECT_TRUE(router.acceptPending(1000ms));
        return client;
    }

    FakeRouter router;
};

TEST(RouterTimestamp, IsDayMonthYearAndClockInLocalTime)
{
    EXPECT_EQ(routerTimestamp(localTime(2026, 12, 8, 18, 30, 5)), "08.12.26 18:30:05");
    EXPECT_EQ(routerTimestamp(localTime(2027, 1, 2, 3, 4, 5)), "02.01.27 03:04:05");

    EXPECT_TRUE(startsWithTimestamp("08.12.26 18:30:05;RING;0;"));
    EXPECT_FALSE(startsWithTimestamp("08.12.26 18:30:05RING;0;"));
    EXPECT_FALSE(startsWithTimestamp("8.12.26 18:30:05;RING;0;"));
    EXPECT_FALSE(startsWithTimestamp("RING;0;0301234567;5550001;SIP0;"));
    EXPECT_FALSE(startsWithTimestamp("08.12.26 18:30"));
}

TEST_F(FakeRouterTest, EventLinesArriveByteExact)
{
    auto client = connected();
    const std::string expected = "08.12.26 18:30:05;RING;0;0301234567;5550001;SIP0;\r\n"
                                 "08.12.26 18:30:05;CALL;1;4;5550001;01761234567;SIP1;\r\n"
                                 "08.12.26 18:30:05;CONNECT;0;4;0301234567;\r\n"
                                 "08.12.26 18:30:05;DISCONNECT;0;65;\r\n";
    std::string sent = router.ring(0, "0301234567", "5550001");
    sent += router.call(1, 4, "5550001", "01761234567", "SIP1");
    sent += router.connect(0, 4, "0301234567");
    sent += router.disconnect(0, 65);

    EXPECT_EQ(sent, expected);
    EXPECT_EQ(client->read(expected.size()), expected);
    EXPECT_FALSE(client->readable());
}

TEST(FakeRouter, StampsLinesWithTheSystemClockUnlessGivenOne)
{
    FakeRouter router;
    std::time_t before = std::time(nullptr);
    std::string line = router.sendLine("RING;0;1;2;SIP0;");
    std::time_t after = std::time(nullptr);

    ASSERT_TRUE(startsWithTimestamp(line));
    EXPECT_TRUE(line.ends_with(";RING;0;1;2;SIP0;\r\n"));
    std::tm fields{};
    ASSERT_EQ(std::sscanf(line.c_str(), "%d.%d.%d %d:%d:%d", &fields.tm_mday, &fields.tm_mon, &fields.tm_year,
                          &fields.tm_hour, &fields.tm_min, &fields.tm_sec),
              6);
    fields.tm_mon -= 1;
    fields.tm_year += 100;
    fields.tm_isdst = -1;
    std::time_t stamped = std::mktime(&fields);
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, after);
}

TEST_F(FakeRouterTest, WritesReachClientsNotYetAcceptedAndEveryClient)
{
    Client first(router.port());
    Client second(router.port());
    std::string line = router.disconnect(3, 0); // no acceptPending: the write takes them in itself

    EXPECT_EQ(router.clientCount(), 2u);
    EXPECT_EQ(first.read(line.size()), line);
    EXPECT_EQ(second.read(line.size()), line);
}

TEST_F(FakeRouterTest, CloseDeliversWhatWasSentThenEndOfStream)
{
    auto client = connected();
    std::string line = router.ring(0, "0301234567", "5550001");
    router.closeClients();

    EXPECT_FALSE(router.hasClient());
    EXPECT_EQ(client->read(line.size()), line);
    auto [n, error] = client->recvOnce();
    EXPECT_EQ(n, 0);
    EXPECT_EQ(error, 0);
}

TEST_F(FakeRouterTest, ResetMakesTheClientsReadFailWithConnectionReset)
{
    auto client = connected();
    router.resetClients();

    EXPECT_FALSE(router.hasClient());
    auto [n, error] = client->recvOnce();
    EXPECT_EQ(n, -1);
    EXPECT_EQ(error, ECONNRESET);
}

TEST_F(FakeRouterTest, RefusingTurnsConnectsAwayUntilItListensAgainOnTheSamePort)
{
    auto staying = connected();
    std::uint16_t port = router.port();
    router.setRefusing(true);
    EXPECT_TRUE(router.refusing());
    EXPECT_EQ(Client(port).connectError(), ECONNREFUSED);
    EXPECT_FALSE(router.acceptPending(10ms));

    std::string duringRefusal = router.connect(1, 4, "0301234567");
    EXPECT_EQ(staying->read(duringRefusal.size()), duringRefusal);

    router.setRefusing(false);
    EXPECT_EQ(router.port(), port);
    auto newcomer = connected();
    std::string line = router.disconnect(1, 12);
    EXPECT_EQ(newcomer->read(line.size()), line);
}

TEST_F(FakeRouterTest, ForgetsAClientThatHungUp)
{
    auto client = connected();
    client->hangUp();
    for (int i = 0; i < 100 && router.hasClient(); ++i)
        router.acceptPending(10ms);
    EXPECT_FALSE(router.hasClient());
    EXPECT_TRUE(router.send("nobody listens\r\n"));
}

TEST_F(FakeRouterTest, StallKeepsTheRestOfTheLineUntilResume)
{
    auto client = connected();
    std::string line = router.stampedLine(ringFields(0, "0301234567", "5550001"));

    EXPECT_EQ(router.stall(line, 10), line.substr(0, 10));
    EXPECT_EQ(client->read(10), line.substr(0, 10));
    EXPECT_FALSE(client->readable());
    EXPECT_EQ(router.stalledBytes(), line.size() - 10);

    EXPECT_EQ(router.resume(), line.substr(10));
    EXPECT_EQ(client->read(line.size() - 10), line.substr(10));
    EXPECT_EQ(router.stalledBytes(), 0u);

    EXPECT_EQ(router.stall(line), line.substr(0, line.size() / 2));
    EXPECT_EQ(router.resume(), line.substr(line.size() / 2));
    EXPECT_EQ(client->read(line.size()), line);
}

TEST_F(FakeRouterTest, DripSendsOneByteACallAndALaterDripReplacesTheRest)
{
    auto client = connected();
    std::string line = router.stampedLine(disconnectFields(0, 65));
    EXPECT_TRUE(router.drip(line));
    EXPECT_EQ(client->read(1), line.substr(0, 1));
    EXPECT_FALSE(client->readable()) << "only the first byte goes at once";
    EXPECT_EQ(router.dripLeft(), line.size() - 1);
    while (router.dripLeft() > 0)
        EXPECT_TRUE(router.dripNext());
    EXPECT_TRUE(router.dripNext()) << "nothing left is no failure";
    EXPECT_EQ(router.dripped(), line);
    EXPECT_EQ(client->read(line.size() - 1), line.substr(1));
    EXPECT_FALSE(client->readable());

    router.drip("abc");
    router.drip("xy");
    router.dripNext();
    EXPECT_EQ(router.dripLeft(), 0u);
    EXPECT_EQ(client->read(3), "axy");

    router.drip("abc");
    router.setSilent(true);
    EXPECT_FALSE(router.dripNext()) << "a byte fell into the silence";
    router.setSilent(false);
    EXPECT_FALSE(router.dripNext()) << "the drip stays incomplete";
    EXPECT_EQ(client->read(2), "ac");
}

TEST_F(FakeRouterTest, NulAndGarbageAreSentAsAsked)
{
    auto client = connected();
    EXPECT_TRUE(router.sendNul());
    EXPECT_EQ(client->read(1), std::string(1, '\0'));

    std::string garbage = router.sendGarbage(4096, 7);
    ASSERT_EQ(garbage.size(), 4096u);
    EXPECT_EQ(client->read(4096), garbage);
    EXPECT_EQ(router.sendGarbage(4096, 7), garbage);
    EXPECT_NE(router.sendGarbage(4096, 8), garbage);
    for (char c : {'\0', '\n', '\r', ';'})
        EXPECT_NE(garbage.find(c), std::string::npos) << int(c);
}

TEST_F(FakeRouterTest, SilentRouterKeepsTheConnectionAndSendsNothing)
{
    auto client = connected();
    router.setSilent(true);
    EXPECT_FALSE(router.send(router.stampedLine(ringFields(0, "0301234567", "5550001"))));
    EXPECT_TRUE(router.hasClient());

    router.setSilent(false);
    std::string line = router.disconnect(0, 0);
    EXPECT_EQ(client->read(line.size()), line);
    EXPECT_FALSE(client->readable());
}

TEST_F(FakeRouterTest, FloodReachesAReadingClientCompletely)
{
    auto client = connected();
    std::string received;
    std::thread reader([&] { received = client->readToEnd(); });
    std::size_t taken = router.flood(2 << 20, 5s);
    router.closeClients();
    reader.join();

    std::string expected = floodPayload(2 << 20, routerTimestamp(eventTime()));
    EXPECT_GE(expected.size(), std::size_t{2 << 20});
    EXPECT_EQ(taken, expected.size());
    EXPECT_TRUE(received == expected) << "received " << received.size() << " of " << expected.size() << " bytes";
}

TEST_F(FakeRouterTest, FloodGivesUpOnAClientThatDoesNotRead)
{
    auto client = connected();
    std::size_t taken = router.flood(8 << 20, 50ms);
    EXPECT_GT(taken, 0u);
    EXPECT_LT(taken, std::size_t{8 << 20});
    EXPECT_TRUE(router.hasClient());
}

TEST(FloodPayload, IsWholeRouterLinesOfCallsThatStartConnectAndEnd)
{
    std::string payload = floodPayload(1000, "08.12.26 18:30:05");
    ASSERT_GE(payload.size(), 1000u);
    ASSERT_TRUE(payload.ends_with(";\r\n"));
    std::size_t lines = 0;
    for (std::size_t start = 0; start < payload.size(); ++lines) {
        std::size_t end = payload.find("\r\n", start);
        std::string_view line = std::string_view(payload).substr(start, end - start);
        EXPECT_TRUE(startsWithTimestamp(line)) << line;
        std::string_view word = line.substr(18, line.find(';', 18) - 18);
        EXPECT_EQ(word, lines % 3 == 0 ? "RING" : lines % 3 == 1 ? "CONNECT" : "DISCONNECT") << line;
        start = end + 2;
    }
    EXPECT_LT(payload.size() - 1000, payload.size() / lines + 1) << "more than one line past the size asked";
}

TEST(CommandLanguage, EventCommandsBuildTheRouterFields)
{
    EXPECT_EQ(parseCommand("ring 0 0301234567 5550001").text, "RING;0;0301234567;5550001;SIP0;");
    EXPECT_EQ(parseCommand("  call 1 4 5550001 01761234567 SIP1 ").text, "CALL;1;4;5550001;01761234567;SIP1;");
    EXPECT_EQ(parseCommand("connect 0 4 0301234567").text, "CONNECT;0;4;0301234567;");
    EXPECT_EQ(parseCommand("disconnect 0 65").text, "DISCONNECT;0;65;");
    EXPECT_EQ(parseCommand("ring 2 - 5550001 SIP1").text, "RING;2;;5550001;SIP1;");
    Command ring = parseCommand("ring 9 1 2");
    EXPECT_EQ(ring.action, Action::Send);
    EXPECT_FALSE(ring.asIs);
}

TEST(CommandLanguage, TypedLinesAndRawBytes)
{
    EXPECT_EQ(parseCommand("RING;0;0301234567;5550001;SIP0;"),
              command(Action::Send, "RING;0;0301234567;5550001;SIP0;"));
    EXPECT_EQ(parseCommand("08.12.26 18:30:05;HOLD;1;"), command(Action::Send, "08.12.26 18:30:05;HOLD;1;\r\n", true));
    EXPECT_EQ(parseCommand("line RING ;0").text, "RING ;0");
    EXPECT_EQ(parseCommand("line HELLO").text, "HELLO");
    EXPECT_EQ(parseCommand(R"(raw a\0b\r\n\x41\101\\)"), command(Action::Send, std::string("a\0b\r\nAA\\", 8), true));
}

TEST(CommandLanguage, MisbehaviourCommands)
{
    EXPECT_EQ(parseCommand("stall 10 disconnect 0 1"), counted(command(Action::Stall, "DISCONNECT;0;1;"), 10));
    EXPECT_EQ(parseCommand("stall ring 0 1 2").count, std::string::npos);
    EXPECT_EQ(parseCommand("drip 5ms disconnect 0 1"), lasting(command(Action::Drip, "DISCONNECT;0;1;"), 5ms));
    EXPECT_EQ(parseCommand("drip raw xy").duration, 100ms);
    EXPECT_EQ(parseCommand("garbage 100 7"), counted(command(Action::Garbage), 100, 7));
    EXPECT_EQ(parseCommand("garbage 100").seed, 1u);
    EXPECT_EQ(parseCommand("flood 0.5"), lasting(counted(command(Action::Flood), 524288), 10s));
    EXPECT_EQ(parseCommand("flood 2 1.5").duration, 1500ms);
    EXPECT_EQ(parseCommand("refuse 10"), lasting(command(Action::Refuse), 10s));
    EXPECT_EQ(parseCommand("refuse").duration, 0ms);
    EXPECT_EQ(parseCommand("silent 1m").duration, 60s);
    const std::pair<const char *, Action> bare[] = {
        {"resume", Action::Resume}, {"nul", Action::Nul},       {"close", Action::Close},
        {"reset", Action::Reset},   {"listen", Action::Listen}, {"speak", Action::Speak},
        {"status", Action::Status}, {"help", Action::Help},     {"quit", Action::Quit}};
    for (auto [word, action] : bare)
        EXPECT_EQ(parseCommand(word).action, action) << word;
}

TEST(CommandLanguage, RejectsWhatItDoesNotUnderstand)
{
    const char *bad[] = {"",
                         "hello",
                         "ring 0 0301234567",
                         "ring x 0301234567 5550001",
                         "ring 0 03;01 5550001",
                         "disconnect 0 1 2",
                         "disconnect 0 soon",
                         "garbage",
                         "garbage -1",
                         "flood 0",
                         "flood 2000",
                         "flood lots",
                         "refuse soon",
                         "refuse -1",
                         "silent 1 2",
                         "drip 5ms",
                         "stall 4",
                         "raw",
                         R"(raw \q)",
                         R"(raw abc\)",
                         R"(raw \400)",
                         "line",
                         "wait 2",
                         "at 3",
                         "close now",
                         "RING"};
    for (const char *line : bad) {
        try {
            parseCommand(line);
            ADD_FAILURE() << "accepted '" << line << "'";
        } catch (const SyntaxError &error) {
            EXPECT_EQ(error.lineNumber(), 0u);
            EXPECT_NE(std::string(error.what()), "") << line;
        }
    }
}

TEST(Scripts, WaitsAndTimesBecomeDelaysBetweenSteps)
{
    auto steps = parseScript("# an afternoon\n"
                             "\n"
                             "wait client\n"
                             "wait 2.5\n"
                             "ring 0 0301234567 5550001\r\n"
                             "at 5\n"
                             "  connect 0 4 0301234567\n"
                             "at +1s\n"
                             "wait 500ms\n"
                             "disconnect 0 65\n"
                             "wait client\n"
                             "at 300ms\n"
                             "close\n"
                             "wait 1m\n");
    ASSERT_EQ(steps.size(), 6u);
    EXPECT_EQ(steps[0], (Step{0ms, command(Action::WaitClient)}));
    EXPECT_EQ(steps[1], (Step{2500ms, parseCommand("ring 0 0301234567 5550001")}));
    EXPECT_EQ(steps[2], (Step{2500ms, parseCommand("connect 0 4 0301234567")}));
    EXPECT_EQ(steps[3], (Step{1500ms, parseCommand("disconnect 0 65")}));
    EXPECT_EQ(steps[4], (Step{0ms, command(Action::WaitClient)}));
    EXPECT_EQ(steps[5], (Step{300ms, command(Action::Close)}));
}

TEST(Scripts, MistakesNameTheirLine)
{
    struct Case {
        const char *script;
        std::size_t line;
        const char *says;
    };
    const Case cases[] = {
        {"ring 0 1 2\nwait 1\nbogus\n", 3, "bogus"},
        {"wait 5\nat 2\nclose\n", 2, "before"},
        {"wait\n", 1, "usage"},
        {"at +x\n", 1, "duration"},
        {"close\n# fine\n\ndisconnect 0\n", 4, "disconnect ID SECONDS"},
        {"wait client please\n", 1, "usage"},
    };
    for (const Case &c : cases) {
        try {
            parseScript(c.script);
            ADD_FAILURE() << "accepted " << c.script;
        } catch (const SyntaxError &error) {
            EXPECT_EQ(error.lineNumber(), c.line) << c.script;
            EXPECT_NE(std::string(error.what()).find("line " + std::to_string(c.line) + ": "), std::string::npos);
            EXPECT_NE(error.message().find(c.says), std::string::npos) << error.message();
        }
    }
}

TEST(Scripts, LoadingNamesTheFileAndLine)
{
    EXPECT_THROW(loadScript("/nonexistent/afternoon.calls"), std::runtime_error);

    std::string path = testing::TempDir() + "fakerouter_bad.calls";
    std::ofstream(path) << "ring 0 1 2\nwait 1\nflood\n";
    try {
        loadScript(path);
        ADD_FAILURE() << "accepted a bad script";
    } catch (const std::runtime_error &error) {
        EXPECT_EQ(std::string(error.what()), path + ":3: usage: flood MB [DEADLINE]");
    }
    std::remove(path.c_str());
}

TEST_F(FakeRouterTest, PerformedCommandsReachTheClient)
{
    auto client = connected();
    perform(router, parseCommand("ring 0 0301234567 5550001"));
    perform(router, parseCommand("07.12.26 09:00:00;RING;1;;5550001;SIP0;"));
    perform(router, parseCommand(R"(stall 3 raw a\0bcd)"));
    perform(router, parseCommand("resume"));
    std::string expected = "08.12.26 18:30:05;RING;0;0301234567;5550001;SIP0;\r\n"
                           "07.12.26 09:00:00;RING;1;;5550001;SIP0;\r\n" +
                           std::string("a\0bcd", 5);
    EXPECT_EQ(client->read(expected.size()), expected);

    Command refuse = parseCommand("refuse 2");
    perform(router, refuse);
    EXPECT_TRUE(router.refusing());
    ASSERT_EQ(followUp(refuse), command(Action::Listen));
    perform(router, *followUp(refuse));
    EXPECT_FALSE(router.refusing());
    EXPECT_EQ(followUp(parseCommand("silent 1")), command(Action::Speak));
    EXPECT_EQ(followUp(parseCommand("silent")), std::nullopt);

    perform(router, parseCommand("close"));
    EXPECT_EQ(client->recvOnce().first, 0);
}

TEST(Reports, ShowBytesReadably)
{
    EXPECT_EQ(escaped(std::string("a;\r\n\0\344\"", 7)), "a;\\r\\n\\000\\344\\\"");
    EXPECT_EQ(escaped("abcdef", 3), "abc...");
}

TEST_F(FakeRouterTest, DemoScriptPlaysAnAfternoonOfWellFormedLines)
{
    auto steps = loadScript(FAKEROUTER_DEMO_SCRIPT);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front().command.action, Action::WaitClient);

    auto client = connected();
    for (const Step &step : steps) {
        ASSERT_NE(step.command.action, Action::Quit);
        perform(router, step.command);
    }
    router.closeClients();

    std::string received = client->readToEnd();
    std::multiset<std::string> words;
    std::set<std::string> lineNames;
    for (std::size_t start = 0; start < received.size();) {
        std::size_t end = received.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        std::string line = received.substr(start, end - start);
        ASSERT_TRUE(startsWithTimestamp(line)) << line;
        ASSERT_TRUE(line.ends_with(";")) << line;
        std::string word = line.substr(18, line.find(';', 18) - 18);
        words.insert(word);
        if (word == "RING" || word == "CALL")
            lineNames.insert(line.substr(line.rfind(';', line.size() - 2) + 1));
        start = end + 2;
    }
    for (const char *word : {"RING", "CALL", "CONNECT", "DISCONNECT"})
        EXPECT_GE(words.count(word), 1u) << word;
    EXPECT_EQ(words.count("RING") + words.count("CALL"), words.count("DISCONNECT"));
    EXPECT_GT(words.size(),
              words.count("RING") + words.count("CALL") + words.count("CONNECT") + words.count("DISCONNECT"))
        << "no unknown event word";
    EXPECT_GE(lineNames.size(), 2u) << "all calls on one line";
}

} // namespace
