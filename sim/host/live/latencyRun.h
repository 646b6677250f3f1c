// The latency measurement of live mode: router lines written on a thread of
// their own, each timed from its write to the frame that shows it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fakerouter/fakeRouter.h"

namespace sim
{

// The latest published frame, for the measurement on another thread.
struct FrameSignal {
    std::mutex mutex;
    std::condition_variable published;
    uint64_t number = 0;
    std::chrono::steady_clock::time_point at;

    void publish(uint64_t n);
};

// The lines alternate RING and DISCONNECT on the eight connection ids, so
// every line changes the status window; a random pause of up to one idle
// period after each frame spreads the writes over the idle cycle.
class LatencyRun
{
  public:
    LatencyRun(int lines, std::string own, FrameSignal &frames);
    ~LatencyRun() { finish(); }
    uint16_t port() const { return router_.port(); }
    void start();
    void finish();
    bool finished() const { return finished_; }
    const std::vector<double> &samples() const { return samples_; }
    int lost() const { return lost_; }
    const std::string &problem() const { return problem_; }

  private:
    void measure();

    int lines_;
    std::string own_;
    FrameSignal &frames_;
    fakerouter::FakeRouter router_{0};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::vector<double> samples_;
    int lost_ = 0;
    std::string problem_;
};

} // namespace sim
