// What the browser page sees of the simulator and asks of it, without the
// way it travels: the TV screen as patches, the program's debug lines and
// journal, its status and setup as JSON, and the keys, controls and router
// commands the page sends, queued for the event thread. Live mode serves it
// over HTTP (LivePage); the browser build hands it to the page in the tab.
// Everything here is behind one mutex, so any thread may call it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framePatches.h"
#include "httpServer.h"
#include "osd.h"

namespace sim
{

// What the page asks of the simulator besides keys.
enum class PageControl { restart, stop, replay, fill, clear };

class PageFeed
{
  public:
    // A router console takes one fake-router command and the seconds to wait
    // before it is carried out; it returns its report, and sets `failed` for a
    // command it refused.
    using RouterConsole = std::function<std::string(const std::string &command, double after, bool &failed)>;

    explicit PageFeed(RouterConsole console = {}) : console_(std::move(console)) {}
    virtual ~PageFeed() = default;
    PageFeed(const PageFeed &) = delete;
    PageFeed &operator=(const PageFeed &) = delete;

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

    // The page's requests that change something ("/key", "/control",
    // "/router") with their JSON body: status 204 when taken, 200 with the
    // router's report, or an error status with the reason.
    struct Answer {
        int status = 204;
        std::string text;
        bool refused = false; // a request the page should not have made
    };
    Answer post(const std::string &path, const std::string &body);
    bool pressKey(const std::string &nameOrCode);

    // The latest frame as a PNG, and the journal kept so far (Latin-1).
    std::vector<unsigned char> framePng();
    std::string journal() const;

    // Encodes the latest frame as a patch unless that was done already;
    // true when viewers have a new patch to get.
    bool encodeLatest();
    // A viewer's events as the page's event stream carries them
    // (server-sent events), each asked for what is new since its last call.
    std::unique_ptr<live::EventStream> newViewer();

    static constexpr size_t keptPrints = 500;
    static constexpr size_t keptJournalBytes = 4 << 20;
    static constexpr size_t maxWaitingKeys = 64;
    static constexpr size_t maxWaitingControls = 8;

  protected:
    // Viewers have something new to get.
    virtual void changed() {}
    // A frame waits for encodeLatest().
    virtual void framePublished() {}
    bool frameWaiting() const { return takenNumber_ != frameNumber_; }

    mutable std::mutex mutex_;

  private:
    class Viewer;
    Answer routerCommand(const std::string &body);

    RouterConsole console_;
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
};

} // namespace sim
