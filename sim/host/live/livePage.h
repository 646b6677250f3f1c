// The browser page of live mode: the TV screen as it is composed, pushed to
// every viewer as server-sent events; a remote control, a call panel and a
// router console whose requests are queued for the event thread; the
// program's debug lines and its status. Everything shared between the event
// thread, the frame encoder and the page's server is behind one mutex.
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

#include "framePatches.h"
#include "osd.h"

namespace sim
{

namespace live
{
class HttpServer;
class EventStream;
struct HttpRequest;
struct HttpResponse;
} // namespace live

// What the page asks of the simulator besides keys.
enum class PageControl { restart, stop, replay, fill, clear };

class LivePage
{
  public:
    // A router console takes one fake-router command and the seconds to wait
    // before it is carried out; it returns its report, and sets `failed` for a
    // command it refused. Called on the server's thread.
    using RouterConsole = std::function<std::string(const std::string &command, double after, bool &failed)>;

    struct Options {
        std::string bindAddress = "127.0.0.1";
        uint16_t port = 0;                   // 0: any free port
        std::vector<std::string> extraHosts; // further host names the page answers to
    };

    // Throws std::runtime_error when the address cannot be bound.
    LivePage(const std::string &bindAddress, uint16_t port, RouterConsole console = {});
    LivePage(const Options &options, RouterConsole console);
    ~LivePage();
    LivePage(const LivePage &) = delete;
    LivePage &operator=(const LivePage &) = delete;

    uint16_t port() const;
    // The address to open the page at.
    std::string url() const;

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

    // What the page's requests do, callable directly (tests).
    bool pressKey(const std::string &nameOrCode);
    std::vector<unsigned char> framePng();

    static constexpr size_t keptPrints = 500;
    static constexpr size_t keptJournalBytes = 4 << 20;

  private:
    class Viewer;
    std::unique_ptr<live::EventStream> newViewer();
    void route();
    live::HttpResponse keyRequest(const live::HttpRequest &req);
    live::HttpResponse controlRequest(const live::HttpRequest &req);
    live::HttpResponse routerRequest(const live::HttpRequest &req);
    live::HttpResponse journalRequest(const live::HttpRequest &req);
    live::HttpResponse frameRequest(const live::HttpRequest &req);
    void encodeFrames();
    void changed();

    RouterConsole console_;

    mutable std::mutex mutex_;
    std::condition_variable framed_; // the encoder has a frame to encode
    bool stopping_ = false;

    Surface frame_; // the latest frame published
    uint64_t frameNumber_ = 0;
    uint64_t takenNumber_ = UINT64_MAX; // the latest frame the encoder looked at
    FramePatches patches_;

    std::deque<std::string> prints_; // Latin-1, as the program printed them
    std::deque<double> printTimes_;  // when each was printed, ms since the epoch
    uint64_t printCount_ = 0;        // every line ever added; prints_ holds the last ones
    std::string journal_;
    std::string status_ = "{}";
    uint64_t statusVersion_ = 0;
    std::string setup_ = "{}";
    uint64_t setupVersion_ = 0;
    std::deque<uint32_t> keys_;
    std::deque<PageControl> controls_;
    std::thread encoder_;
    std::unique_ptr<live::HttpServer> server_; // last: stopped first
};

} // namespace sim
