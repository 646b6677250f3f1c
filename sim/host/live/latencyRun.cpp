#include "latencyRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "fakerouter/commands.h"
#include "live.h"

namespace sim
{

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void FrameSignal::publish(uint64_t n)
{
    auto now = SteadyClock::now();
    {
        std::lock_guard lock(mutex);
        number = n;
        at = now;
    }
    published.notify_all();
}

LatencyRun::LatencyRun(int lines, std::string own, FrameSignal &frames)
    : lines_(lines), own_(std::move(own)), frames_(frames)
{
}

void LatencyRun::start()
{
    thread_ = std::thread([this] { measure(); });
}

void LatencyRun::finish()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void LatencyRun::measure()
{
    auto deadline = SteadyClock::now() + std::chrono::seconds(90);
    while (!router_.hasClient() && !stop_ && SteadyClock::now() < deadline)
        router_.acceptPending(milliseconds(100));
    if (!router_.hasClient()) {
        problem_ = "the program did not connect to the router within 90 seconds";
        finished_ = true;
        return;
    }
    std::printf("measuring: the program connected; %d lines follow\n", lines_);
    std::fflush(stdout);
    std::this_thread::sleep_for(milliseconds(500)); // start-up drawing settles
    std::mt19937 random(1);
    std::uniform_int_distribution<int> pause(0, 10000);
    int lostInARow = 0;
    for (int i = 0; i < lines_ && !stop_; ++i) {
        int id = (i / 2) % 8;
        std::string caller = i % 4 < 2 ? "0301234567" : "0899" + std::to_string(100000 + i);
        std::string line = router_.stampedLine(i % 2 == 0 ? fakerouter::ringFields(id, caller, own_)
                                                          : fakerouter::disconnectFields(id, i % 3 == 0 ? 0 : 60));
        uint64_t before;
        {
            std::lock_guard lock(frames_.mutex);
            before = frames_.number;
        }
        auto written = SteadyClock::now();
        router_.send(line);
        std::unique_lock lock(frames_.mutex);
        if (frames_.published.wait_for(lock, std::chrono::seconds(2), [&] { return frames_.number > before; })) {
            samples_.push_back(std::chrono::duration<double, std::milli>(frames_.at - written).count());
            lostInARow = 0;
        } else if (++lost_, ++lostInARow == 5) {
            problem_ = "five lines in a row showed no frame: does the MSN filter let the own number " + own_ +
                       " through (--own)?";
            break;
        }
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
    }
    finished_ = true;
}

LatencySummary summarize(std::vector<double> samples)
{
    LatencySummary s;
    s.count = samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    auto rank = [&](double q) {
        size_t i = static_cast<size_t>(std::ceil(q * static_cast<double>(samples.size())));
        return samples[std::clamp<size_t>(i, 1, samples.size()) - 1];
    };
    s.median = samples.size() % 2 ? samples[samples.size() / 2]
                                  : (samples[samples.size() / 2 - 1] + samples[samples.size() / 2]) / 2;
    s.p99 = rank(0.99);
    s.max = samples.back();
    double sum = 0;
    for (double v : samples)
        sum += v;
    s.mean = sum / static_cast<double>(samples.size());
    return s;
}

} // namespace sim
