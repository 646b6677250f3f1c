// The fake router's engine and player on the receiver's network in memory, seen from the program's side
// of a socket: lines arrive, close, reset and refuse do what they do over TCP, and a flood stays within
// what a socket buffer would hold however much is asked.
#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fakerouter/fakeRouter.h"
#include "fakerouter/player.h"
#include "memoryTransport.h"
#include "temporaryReceiver.h"

namespace
{

using namespace std::chrono_literals;
using fakerouter::Time;

// A socket of the program's, read as the program reads it.
struct ProgramSocket {
    sim::MemoryNetwork &net = sim::network().memory();
    int fd = net.socket();
    int connectError = 0;

    ProgramSocket() { net.connect(fd, sim::MemoryNetwork::routerPort, connectError); }

    // Up to `limit` bytes, and how reading ended: 0 at the end of stream, else the error (EAGAIN: open,
    // nothing more yet or `limit` reached).
    std::pair<std::string, int> read(std::size_t limit = std::string::npos)
    {
        std::string bytes;
        char buffer[128];
        while (bytes.size() < limit) {
            int error = 0;
            long n = net.receive(fd, buffer, std::min(sizeof buffer, limit - bytes.size()), 0, error);
            if (n <= 0)
                return {bytes, n == 0 ? 0 : error};
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return {bytes, EAGAIN};
    }
};

class MemoryTransportTest : public testing::Test
{
  protected:
    MemoryTransportTest()
    {
        router.setClock([] { return std::time_t{1'765'218'605}; }); // 08.12.25 18:30:05 UTC
        player.setListener([this](const std::string &text) { reports.push_back(text); });
    }

    sim::TemporaryReceiver booted{{.memoryDisk = true, .transport = sim::Transport::Memory}};
    fakerouter::FakeRouter router{std::make_unique<sim::MemoryTransport>()};
    fakerouter::Player player{router};
    std::vector<std::string> reports;
};

TEST_F(MemoryTransportTest, CommandsReachTheProgramsSocketAsOverTcp)
{
    struct Case {
        std::vector<const char *> commands;
        std::string received;
        int readEnd; // 0: end of stream, EAGAIN: still open, ECONNRESET
        std::size_t clients;
        int newcomer; // what a connect afterwards gets
    };
    const Case cases[] = {
        {{"ring 0 0301234567 5550001"}, "08.12.25 18:30:05;RING;0;0301234567;5550001;SIP0;\r\n", EAGAIN, 1, 0},
        {{"raw abc", "close"}, "abc", 0, 0, 0},
        {{"raw abc", "reset"}, "", ECONNRESET, 0, 0},
        {{"refuse", "raw abc"}, "abc", EAGAIN, 1, ECONNREFUSED},
        {{"refuse 1", "raw a"}, "a", EAGAIN, 1, 0},
        {{"silent", "raw abc", "speak", "raw d"}, "d", EAGAIN, 1, 0},
        {{"drip 10ms raw abc"}, "abc", EAGAIN, 1, 0},
    };
    for (const Case &c : cases) {
        sim::TemporaryReceiver reboot({.memoryDisk = true, .transport = sim::Transport::Memory});
        ProgramSocket program;
        ASSERT_EQ(program.connectError, 0);
        player.advance(0ms); // the router takes the connection, as it looks for clients now and then
        std::string typed;
        for (const char *command : c.commands) {
            typed += std::string(command) + "; ";
            EXPECT_EQ(player.submit(command, 0ms).rfind("error", 0), std::string::npos) << command;
        }
        player.advance(Time(1000));
        EXPECT_EQ(program.read(), std::make_pair(c.received, c.readEnd)) << typed;
        EXPECT_EQ(router.clientCount(), c.clients) << typed;
        ProgramSocket newcomer;
        EXPECT_EQ(newcomer.connectError, c.newcomer) << typed;
        if (c.newcomer == 0) {
            router.send("x");
            EXPECT_EQ(newcomer.read(), std::make_pair(std::string("x"), EAGAIN)) << typed;
        }
    }
    EXPECT_EQ(router.address(), "memory:1012");
}

TEST_F(MemoryTransportTest, AFloodStaysWithinTheUnreadLimit)
{
    const std::size_t limit = sim::MemoryTransport::unreadLimit;
    ProgramSocket first, second;
    player.advance(0ms);
    ASSERT_EQ(router.clientCount(), 2u);
    player.submit("flood 2", 0ms);
    EXPECT_EQ(reports.back(), "flood: the slowest of 2 clients took " + std::to_string(limit / 2) +
                                  " bytes of about 2097152 bytes within 10s");
    ASSERT_EQ(sim::network().memory().unread(), limit);

    // The program reads a little, the router floods again, all it may: never more than the limit waits.
    std::string read = first.read(128).first;
    player.submit("flood 1024", 0ms);
    EXPECT_EQ(reports.back(), "flood: the slowest of 2 clients took 64 bytes of about 1073741824 bytes within 10s");
    EXPECT_EQ(sim::network().memory().unread(), limit);
    std::string expected = fakerouter::floodPayload(limit, fakerouter::routerTimestamp(1'765'218'605));
    EXPECT_EQ(read, expected.substr(0, 128));
    EXPECT_EQ(second.read(limit / 2), std::make_pair(expected.substr(0, limit / 2), EAGAIN));
}

} // namespace
