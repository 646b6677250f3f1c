// The live session: the receiver booted on the real clock, the program in
// it, the router it talks to and the page's feed, and the firmware's event
// loop one turn at a time. Live mode turns it about a hundred times a second
// on a thread of its own; the browser build from the page's timer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "firmware.h"
#include "journalDrain.h"
#include "latencyRun.h"
#include "live.h"
#include "liveRouter.h"
#include "pageFeed.h"
#include "pageStatus.h"
#include "receiver.h"
#include "temporaryReceiver.h"

namespace sim
{

class LiveSession
{
  public:
    // The feed may be null (no page); it must outlive the session.
    LiveSession(const LiveOptions &options, const Typesetter &typesetter, PageFeed *feed);
    LiveSession(const LiveSession &) = delete;
    LiveSession &operator=(const LiveSession &) = delete;

    // Loads and starts the program; false (with the reason on stderr) when
    // the session cannot run.
    bool begin();
    // One turn: the page's keys and controls, the router, one idle event.
    // False when the session has ended: the measurement is done, or the
    // program ended and no page watches.
    bool turn();
    // Ends the program if it still runs; returns the process exit code.
    int finish(const std::string &ending);

    // The fake router inside the session, for the page's console.
    LiveRouter *router() { return router_.get(); }
    // The page asked for a fresh program while the program cannot be loaded
    // again in this process (the browser build): whoever drives the session
    // starts a new one.
    bool restartWanted() const { return restartWanted_; }

  private:
    static BootOptions bootOptions(const LiveOptions &options);
    bool setUpRouter();
    void startProgram(ProgramEntries entries);
    void restartProgram();
    void handlePage();
    void noteEnd(std::string why);
    void publishStatus();
    void reportLatency();

    const LiveOptions &options_;
    const Typesetter &typesetter_;
    PageFeed *page_;
    TemporaryReceiver booted_;
    Firmware &fw_ = firmware();
    Surface tv_ = Osd::testPicture();
    std::unique_ptr<LiveRouter> router_;
    std::unique_ptr<LatencyRun> latency_;
    FrameSignal frames_;
    std::unique_ptr<JournalDrain> journal_;
    std::unique_ptr<Receiver> receiver_;
    uint32_t connectDelay_ = 3000;
    std::string programEnd_; // why the program is not running; empty while it is
    StatusFacts lastStatus_;
    bool statusSent_ = false;
    bool restartWanted_ = false;
    uint64_t framesWritten_ = 0;
    int status_ = 0;
};

} // namespace sim
