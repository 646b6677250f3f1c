// The fake router inside the simulator for live mode: it plays a call script
// on a thread of its own and takes commands from the browser page's console.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fakerouter/commands.h"
#include "fakerouter/fakeRouter.h"

namespace sim
{

class RouterPlayer
{
  public:
    using Report = std::function<void(const std::string &)>;

    // Listens on a free loopback port and starts playing at once; `report`
    // hears what the router did (on the router's thread). A looping script
    // starts again once it has played.
    RouterPlayer(std::vector<fakerouter::Step> script, Report report, bool loops = false);
    ~RouterPlayer();
    RouterPlayer(const RouterPlayer &) = delete;
    RouterPlayer &operator=(const RouterPlayer &) = delete;

    uint16_t port() const { return router_.port(); }

    // One command in the fake router's language, carried out on the router's
    // thread; returns its report, or the syntax error.
    std::string submit(const std::string &line);
    // The same, carried out `after` from now; returns at once.
    std::string schedule(const std::string &line, std::chrono::milliseconds after);
    // Plays the script again from its start.
    void replay();

    // What the router last said on each connection id 0..7: "idle", "ring",
    // "call", "connect" (call state as the router sees it), and its clients.
    std::vector<std::string> lineStates() const;
    size_t clients() const;

  private:
    struct Job {
        fakerouter::Command command;
        std::promise<std::string> report;
    };
    using Clock = std::chrono::steady_clock;

    void loop();
    std::string execute(const fakerouter::Command &command);
    void noteLine(const fakerouter::Command &command);
    void playScript();

    fakerouter::FakeRouter router_;
    std::vector<fakerouter::Step> script_;
    Report report_;
    size_t step_ = 0;
    Clock::time_point lastDue_;
    std::vector<std::pair<Clock::time_point, fakerouter::Command>> timers_;
    size_t clients_ = 0;
    bool loop_ = false;
    bool replay_ = false;
    std::vector<std::string> lines_ = std::vector<std::string>(8, "idle");

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace sim
