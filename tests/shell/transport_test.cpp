// The router connection over both of the simulator's networks, loopback TCP
// with the fake router and byte queues in memory (with the disk in memory
// too): the program sees the same network on each, and the network's facts
// about the program's router socket (standing since when, how it ended, the
// attempts since a connection that stood a minute) are the same. Start-up
// reads the same from a disk folder and from a disk in memory.
#include <memory>
#include <sys/ioctl.h>

#include "events/fritzbox.h"
#include "fakerouter/fakeRouter.h"
#include "firmware_fixture.h"
#include "shell/routerConnection.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"

namespace
{

using sim::ConnectionEnd;
using sim::Transport;

const char *const lossText = "Verbindung zu Fritz Box unterbrochen";
const char *const finalText = "keine Verbindung zu Fritz Box, Tap wird beendet";

// The router's side, finished when each call returns.
class Router
{
  public:
    virtual ~Router() = default;
    virtual void accept() = 0;
    virtual void send(const std::string &bytes) = 0;
    virtual void close() = 0;
    virtual void reset() = 0;
    virtual void refuse(bool refusing) = 0;
};

class TcpRouter : public Router
{
  public:
    TcpRouter() { sim::network().setRouter("", router_.port()); }
    void accept() override { router_.acceptPending(); }
    void send(const std::string &bytes) override
    {
        router_.acceptPending(std::chrono::milliseconds(500));
        int before = 0;
        ::ioctl(sockfd, FIONREAD, &before);
        ASSERT_TRUE(router_.send(bytes));
        sim::network().waitReadable(sockfd, before + static_cast<int>(bytes.size()), 2000);
    }
    void close() override
    {
        settled([this] { router_.closeClients(); });
    }
    void reset() override
    {
        settled([this] { router_.resetClients(); });
    }
    void refuse(bool refusing) override { router_.setRefusing(refusing); }

  private:
    template <typename F> void settled(F act)
    {
        int fd = sockfd;
        act();
        if (fd >= 0)
            sim::network().waitClosed(fd, 2000);
    }
    fakerouter::FakeRouter router_{0};
};

class MemoryRouter : public Router
{
  public:
    void accept() override { net().accept(); }
    void send(const std::string &bytes) override
    {
        net().accept();
        ASSERT_TRUE(net().write(bytes));
    }
    void close() override { net().closeClients(); }
    void reset() override { net().resetClients(); }
    void refuse(bool refusing) override { net().setListening(!refusing); }

  private:
    static sim::MemoryNetwork &net() { return sim::network().memory(); }
};

class TransportTest : public test::FirmwareTest, public ::testing::WithParamInterface<Transport>
{
  protected:
    void SetUp() override
    {
        boot.transport = GetParam();
        boot.memoryDisk = GetParam() == Transport::Memory;
        FirmwareTest::SetUp();
        if (GetParam() == Transport::Memory)
            router = std::make_unique<MemoryRouter>();
        else
            router = std::make_unique<TcpRouter>();
        writeAddressBook("0300 = Zuhause\n0301234567 = Nachbar Gerd\n");
        writeSettings("StartupConnectDelay = 6\n"); // longer than the final message's 5 s
        startProgram();
    }
    void run(uint32_t ticks)
    {
        receiver().run(ticks, [this] { router->accept(); });
    }
    void connect()
    {
        run(601);
        ASSERT_GE(sockfd, 0);
    }
    size_t shown(const std::string &text)
    {
        size_t n = 0;
        for (const auto &c : journal().calls())
            n += c.find("\"" + sim::escapeText(text) + "\"") != std::string::npos;
        return n;
    }
    sim::RouterSocketFacts facts() { return sim::network().routerFacts(); }
    uint32_t tick() { return fw().clock.tick(); }

    std::unique_ptr<Router> router;
};

TEST_P(TransportTest, CallsFromTheAddressBookAndReadsOfAtMost128Bytes)
{
    connect();
    router->send(std::string(300, ';')); // no line end: each ";" moves the parser a field on
    for (int expected : {128, 256, 300, 300}) {
        receiver().idle();
        EXPECT_EQ(FritzBoxMonitor.fieldIndex, expected);
    }
    router->send("\r\n09.12.26 20:00:00;RING;0;0301234567;5550001;SIP0;\r\n");
    run(1);
    EXPECT_EQ(shown("Nachbar Gerd"), 1u);
    receiver().stop();
    EXPECT_TRUE(leaks().empty());
}

TEST_P(TransportTest, FactsFollowConnectionsAndTheirEnds)
{
    EXPECT_FALSE(facts().connected);
    EXPECT_EQ(facts().lastEnd, ConnectionEnd::None);
    connect();
    uint32_t since = tick();
    auto f = facts();
    EXPECT_TRUE(f.connected);
    EXPECT_EQ(f.connectedSince, since);
    EXPECT_EQ(f.attempts, 1);

    struct End {
        void (Router::*act)();
        ConnectionEnd seen;
    };
    int attempts = 1;
    for (End end : {End{&Router::close, ConnectionEnd::ByRouter}, End{&Router::reset, ConnectionEnd::Reset}}) {
        run(100);
        ((*router).*end.act)();
        run(100);
        EXPECT_EQ(shown(lossText), static_cast<size_t>(attempts));
        f = facts();
        EXPECT_EQ(f.lastEnd, end.seen);
        EXPECT_TRUE(f.connected) << "connected again at once";
        EXPECT_EQ(f.attempts, ++attempts);
        EXPECT_GT(f.connectedSince, since);
        since = f.connectedSince;
    }

    run(6000); // a minute: the settings have proven right
    EXPECT_EQ(facts().attempts, 0);
    receiver().stop();
    f = facts();
    EXPECT_FALSE(f.connected);
    EXPECT_EQ(f.lastEnd, ConnectionEnd::ByProgram);
    EXPECT_EQ(f.attempts, 0);
    EXPECT_TRUE(leaks().empty());
}

TEST_P(TransportTest, RefusedAttemptsEndTheProgram)
{
    router->refuse(true);
    // Attempts at 601, 1202 and 1803; the call at 2404 is the fourth.
    run(2404);
    EXPECT_EQ(journal().countPrints("Error connecting to fritz box\n"), 3u);
    auto f = facts();
    EXPECT_FALSE(f.connected);
    EXPECT_EQ(f.lastEnd, ConnectionEnd::Refused);
    EXPECT_EQ(f.attempts, 3);
    EXPECT_EQ(shown(finalText), 1u);
    run(500);
    EXPECT_FALSE(receiver().resident());
    EXPECT_TRUE(leaks().empty());
}

TEST_P(TransportTest, ShortConnectionsKeepCountingTheirAttempts)
{
    connect();
    run(3000);
    router->close();
    run(100);
    EXPECT_EQ(facts().attempts, 2);
    run(6100);
    router->close();
    run(100);
    EXPECT_EQ(facts().attempts, 1) << "the attempt after a connection that stood a minute";
    receiver().stop();
}

TEST_P(TransportTest, RouterThatVanishedGaveNoAnswer)
{
    connect();
    sim::network().setRouterVanished(true);
    run(9000 + 20); // keepalive: idle 60 s, 3 probes 10 s apart; then the next peek
    ASSERT_EQ(shown(lossText), 1u);
    EXPECT_EQ(facts().lastEnd, ConnectionEnd::NoAnswer);
    EXPECT_EQ(facts().attempts, 0) << "the lost connection stood a minute";
    while (journal().countPrints("Error connecting to fritz box\n") == 0 && receiver().resident())
        run(1);
    auto f = facts();
    EXPECT_FALSE(f.connected);
    EXPECT_EQ(f.lastEnd, ConnectionEnd::NoAnswer);
    EXPECT_EQ(f.attempts, 1);
    sim::network().setRouterVanished(false);
    run(601);
    EXPECT_TRUE(facts().connected);
    receiver().stop();
    EXPECT_TRUE(leaks().empty());
}

class DiskTest : public test::FirmwareTest, public ::testing::WithParamInterface<bool>
{
  protected:
    void SetUp() override
    {
        boot.memoryDisk = GetParam();
        FirmwareTest::SetUp();
    }
};

TEST_P(DiskTest, AddressBookOfSeveralBlocksIsReadWhole)
{
    std::string book = "0300 = Zuhause\n";
    for (int i = 100; i < 200; ++i) // about 2.3 kB: two whole blocks and a part
        book += "0301000" + std::to_string(i) + " = Name " + std::to_string(i) + "\n";
    writeAddressBook(book);
    writeSettings("");
    startProgram();
    EXPECT_EQ(statusWindow, -1) << "no start-up message";
    EXPECT_EQ(getAddressEntries(), 100);
    receiver().stop();
    EXPECT_TRUE(leaks().empty());
}

TEST_P(DiskTest, MissingAddressBookIsReported)
{
    writeAddressBook("0300 = Zuhause\n");
    fw().disk.removeFile(std::string(test::settingsFolder) + "/addrbook.dat");
    writeSettings("");
    startProgram();
    EXPECT_EQ(journal().countPrints("Failed to open address book file\n"), 1u);
    EXPECT_NE(statusWindow, -1);
    receiver().stop();
    EXPECT_TRUE(leaks().empty());
}

INSTANTIATE_TEST_SUITE_P(Disks, DiskTest, ::testing::Bool(), [](const ::testing::TestParamInfo<bool> &info) {
    return info.param ? std::string("Memory") : std::string("Folder");
});

INSTANTIATE_TEST_SUITE_P(Networks, TransportTest, ::testing::Values(Transport::Tcp, Transport::Memory),
                         [](const ::testing::TestParamInfo<Transport> &info) {
                             return info.param == Transport::Tcp ? std::string("Tcp") : std::string("Memory");
                         });

} // namespace
