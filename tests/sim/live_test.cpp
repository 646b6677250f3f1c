// Pieces of live mode: the in-process fake router plays its script and takes
// console commands over a real loopback connection, and the latency figures
// are the order statistics they claim to be.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "live.h"
#include "routerPlayer.h"

namespace
{

using namespace std::chrono_literals;

// A client of the router, as the program would be.
class Client
{
  public:
    explicit Client(uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
    }
    ~Client() { ::close(fd_); }
    bool connected() const { return connected_; }

    // Everything that arrives within `wait`, up to the first line end.
    std::string readLine(std::chrono::milliseconds wait = 3s)
    {
        std::string got;
        auto end = std::chrono::steady_clock::now() + wait;
        while (got.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            char buffer[512];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

TEST(RouterPlayer, PlaysItsScriptOnceAClientCame)
{
    auto script = fakerouter::parseScript("wait client\nwait 0.1\nring 3 0301234567 5550001\n");
    std::vector<std::string> reports;
    std::mutex mutex;
    sim::RouterPlayer player(script, [&](const std::string &what) {
        std::lock_guard lock(mutex);
        reports.push_back(what);
    });
    std::this_thread::sleep_for(300ms); // nothing is sent while nobody listens
    Client client(player.port());
    ASSERT_TRUE(client.connected());
    std::string line = client.readLine();
    EXPECT_NE(line.find(";RING;3;0301234567;5550001;SIP0;\r\n"), std::string::npos) << line;
    EXPECT_TRUE(fakerouter::startsWithTimestamp(line)) << line;
    std::this_thread::sleep_for(100ms);
    std::lock_guard lock(mutex);
    EXPECT_NE(std::find(reports.begin(), reports.end(), "script finished"), reports.end());
}

TEST(RouterPlayer, TheConsoleSendsCommandsAndReportsMistakes)
{
    sim::RouterPlayer player({}, {});
    Client client(player.port());
    ASSERT_TRUE(client.connected());
    std::this_thread::sleep_for(150ms); // the router has accepted the client
    std::string report = player.submit("disconnect 2 65");
    EXPECT_NE(report.find("sent"), std::string::npos) << report;
    EXPECT_NE(client.readLine().find(";DISCONNECT;2;65;\r\n"), std::string::npos);
    EXPECT_EQ(player.submit("ring").rfind("error:", 0), 0u);
    EXPECT_EQ(player.submit("fly to the moon").rfind("error:", 0), 0u);
    EXPECT_EQ(player.submit("quit").find("error"), std::string::npos);
    // Still serving after all that.
    EXPECT_NE(player.submit("status").find("1 client"), std::string::npos);
}

TEST(RouterPlayer, LaterCommandsLineStatesAndReplay)
{
    auto script = fakerouter::parseScript("wait client\nring 1 0301234567 5550001\n");
    sim::RouterPlayer player(script, {});
    Client client(player.port());
    ASSERT_TRUE(client.connected());
    EXPECT_NE(client.readLine().find(";RING;1;"), std::string::npos);
    EXPECT_EQ(player.lineStates()[1], "ring");
    EXPECT_EQ(player.clients(), 1u);

    EXPECT_EQ(player.schedule("disconnect 1 0", 200ms).rfind("in 0.2 s", 0), 0u);
    EXPECT_EQ(player.schedule("fly", 0ms).rfind("error:", 0), 0u);
    EXPECT_EQ(player.lineStates()[1], "ring") << "not before its time";
    EXPECT_NE(client.readLine().find(";DISCONNECT;1;0;"), std::string::npos);
    EXPECT_EQ(player.lineStates()[1], "idle");

    player.replay();
    EXPECT_NE(client.readLine().find(";RING;1;"), std::string::npos);
}

TEST(Latency, MedianAndPercentileAreOrderStatistics)
{
    std::vector<double> samples;
    for (int i = 100; i >= 1; --i)
        samples.push_back(i);
    sim::LatencySummary s = sim::summarize(samples);
    EXPECT_EQ(s.count, 100u);
    EXPECT_DOUBLE_EQ(s.median, 50.5);
    EXPECT_DOUBLE_EQ(s.p99, 99);
    EXPECT_DOUBLE_EQ(s.max, 100);
    EXPECT_DOUBLE_EQ(s.mean, 50.5);

    s = sim::summarize({7, 1, 3});
    EXPECT_DOUBLE_EQ(s.median, 3);
    EXPECT_DOUBLE_EQ(s.p99, 7);
    EXPECT_EQ(sim::summarize({}).count, 0u);
}

} // namespace
