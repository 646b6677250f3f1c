// The fake router inside live mode: the event thread plays its script (the
// demo) and the page's console reaches it from the server's thread, so both
// go through one lock. The demo stands aside the moment the user acts on
// the call panel or the console, and plays again from its start on resume.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fakerouter/fakeRouter.h"
#include "fakerouter/player.h"

namespace sim
{

class LiveRouter
{
  public:
    // Throws what loading the script throws. Without a transport the router
    // listens on a free TCP port of the loopback.
    LiveRouter(const std::filesystem::path &script, bool loops,
               std::unique_ptr<fakerouter::Transport> transport = nullptr);

    uint16_t port() const { return router_->port(); }
    bool hasScript() const { return !script_.empty(); }

    // The page's console: one command, now or `after` seconds from now. A
    // user's command pauses the demo first.
    std::string console(const std::string &line, double after, bool &failed);
    // Every finished call of `numbers` (the address book's people), some
    // missed, one after another, so that the call list fills up.
    void fillCallList(const std::vector<std::string> &numbers, const std::string &own);

    void resumeDemo();
    bool demoPaused() const { return paused_; } // only ever while a script plays

    // From the event loop: does what is due (a drip's bytes too). Skipped
    // while a console command that takes its time (a flood) holds the
    // router.
    void advance();
    // The lines and clients as the event thread last saw them.
    const std::vector<std::string> &lines() const;
    int clients() const;

  private:
    static fakerouter::Time now();
    // The user takes over: the demo's script stops. With the lock held.
    void pauseDemo();

    std::unique_ptr<fakerouter::FakeRouter> router_;
    fakerouter::Player player_{*router_};
    std::vector<fakerouter::Step> script_;
    bool loops_ = false;
    bool paused_ = false;
    std::mutex mutex_;
    std::vector<std::string> lines_ = std::vector<std::string>(8, "idle");
    int clients_ = 0;
    fakerouter::Time lastLook_{0};
};

} // namespace sim
