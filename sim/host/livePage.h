// The browser page of live mode: the TV screen as it is composed, a remote
// control whose keys are queued for the event thread, the program's debug
// lines, and a console for the in-process fake router. Served by
// cpp-httplib on threads of its own; everything it shares with the event
// thread is behind one mutex.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "osd.h"

namespace sim
{

class LivePage
{
  public:
    // A router console takes one fake-router command and returns its report;
    // it is called on an HTTP thread.
    using RouterConsole = std::function<std::string(const std::string &command)>;

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
    void setEnded(std::string why);
    std::vector<uint32_t> takeKeys();

    // What the HTTP handlers do, callable directly (tests).
    bool pressKey(const std::string &nameOrCode);
    std::string stateJson(uint64_t sincePrint) const;
    std::vector<unsigned char> framePng();

    static constexpr size_t keptPrints = 500;

  private:
    struct Server;
    std::unique_ptr<Server> server_;
    uint16_t port_ = 0;
    RouterConsole console_;

    mutable std::mutex mutex_;
    Surface frame_;
    uint64_t frameNumber_ = 0;
    std::vector<unsigned char> png_;
    uint64_t pngNumber_ = UINT64_MAX;
    std::deque<std::string> prints_;
    uint64_t printCount_ = 0; // every line ever added; prints_ holds the last ones
    std::deque<uint32_t> keys_;
    std::string ended_;
};

// The page itself (pageHtml.cpp).
extern const char *const livePageHtml;

} // namespace sim
