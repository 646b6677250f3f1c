// The fault matrix's ground: the program file in virtual time against the
// fake router over loopback TCP, the faults it can play and what the user
// sees afterwards.
#pragma once

#include <functional>
#include <string>
#include <sys/ioctl.h>

#include "fakerouter/fakeRouter.h"
#include "firmware_fixture.h"

namespace faultmatrix
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

inline void PrintTo(const FaultCase &c, std::ostream *out)
{
    *out << c.name;
}

} // namespace faultmatrix
