// The browser page of live mode: the TV screen as it is composed, pushed to
// every viewer as server-sent events; a remote control, a call panel and a
// router console whose requests are queued for the event thread; the
// program's debug lines and its status. Served by cpp-httplib on threads of
// its own; everything shared with the event thread is behind one mutex.
// Only the page itself may change anything: requests from other origins,
// other host names and oversized or malformed requests are refused.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "osd.h"

namespace sim
{

// What the page asks of the simulator besides keys.
enum class PageControl { restart, stop, replay };

class LivePage
{
  public:
    // A router console takes one fake-router command and the seconds to wait
    // before it is carried out; it returns its report, and sets `failed` for a
    // command it refused. Called on an HTTP thread.
    using RouterConsole = std::function<std::string(const std::string &command, double after, bool &failed)>;

    // Port 0 takes any free port. Throws std::runtime_error when the address
    // cannot be bound.
    LivePage(const std::string &bindAddress, uint16_t port, RouterConsole console = {});
    ~LivePage();
    LivePage(const LivePage &) = delete;
    LivePage &operator=(const LivePage &) = delete;

    uint16_t port() const { return port_; }

    // From the event thread.
    void publishFrame(const Surface &frame, uint64_t number);
    void addPrint(std::string line);
    void addJournal(const std::string &line);
    // A JSON object of the program's status; viewers get it when it changed.
    void setStatus(std::string json);
    // A JSON object with the address book's callers and the action key.
    void setSetup(std::string json);
    std::vector<uint32_t> takeKeys();
    std::vector<PageControl> takeControls();

    // What the HTTP handlers do, callable directly (tests).
    bool pressKey(const std::string &nameOrCode);
    std::vector<unsigned char> framePng();

    static constexpr size_t keptPrints = 500;
    static constexpr size_t keptJournalBytes = 4 << 20;
    static constexpr size_t maxViewers = 16;
    static constexpr size_t maxBody = 4096;

  private:
    struct Server;
    void encodeFrames();
    std::string event(const char *name, const std::string &data) const;

    std::unique_ptr<Server> server_;
    uint16_t port_ = 0;
    std::string hostNames_[3]; // what the Host header may say
    RouterConsole console_;

    mutable std::mutex mutex_;
    std::condition_variable changed_; // a viewer has something new to send
    std::condition_variable framed_;  // the encoder has a frame to encode
    bool stopping_ = false;
    size_t viewers_ = 0;

    // The screen travels as patches: each the PNG of the box in which a
    // frame differs from the one before, ready to send as a "frame" event.
    // A viewer that has the patch's base gets the patches from there on;
    // any other gets the whole screen once.
    struct Patch {
        uint64_t number;
        uint64_t base; // the frame it applies to
        bool whole;    // the whole screen: applies to any frame
        std::string event;
    };
    static constexpr size_t keptPatches = 16;
    std::string wholeScreenEvent(uint64_t &number);

    Surface frame_; // the latest frame published
    uint64_t frameNumber_ = 0;
    uint64_t takenNumber_ = UINT64_MAX; // the latest frame the encoder looked at
    Surface encoded_;                   // the screen as the patches leave it
    uint64_t encodedNumber_ = UINT64_MAX;
    std::deque<Patch> patches_; // ending at encodedNumber_
    std::string wholeEvent_;    // the whole screen of wholeNumber_, encoded on demand
    std::vector<unsigned char> wholePng_;
    uint64_t wholeNumber_ = UINT64_MAX;

    std::deque<std::string> prints_;
    uint64_t printCount_ = 0; // every line ever added; prints_ holds the last ones
    std::string journal_;
    std::string status_ = "{}";
    uint64_t statusVersion_ = 0;
    std::string setup_ = "{}";
    uint64_t setupVersion_ = 0;
    std::deque<uint32_t> keys_;
    std::deque<PageControl> controls_;
    std::thread encoder_;
};

// The page itself (pageHtml.cpp) and its icon.
extern const char *const livePageHtml;
extern const char *const livePageIcon;

} // namespace sim
