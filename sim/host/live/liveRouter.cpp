#include "liveRouter.h"

#include <cstdio>

#include "fakerouter/commands.h"

namespace sim
{

using std::chrono::milliseconds;

LiveRouter::LiveRouter(const std::filesystem::path &script, bool loops,
                       std::unique_ptr<fakerouter::Transport> transport)
    : router_(transport ? std::make_unique<fakerouter::FakeRouter>(std::move(transport))
                        : std::make_unique<fakerouter::FakeRouter>(0)),
      loops_(loops)
{
    if (!script.empty())
        script_ = fakerouter::loadScript(script.string());
    player_.setListener([](const std::string &what) {
        std::printf("[router] %s\n", what.c_str());
        std::fflush(stdout);
    });
    player_.setQuitAllowed(false);
    player_.play(script_, now(), loops_);
}

fakerouter::Time LiveRouter::now()
{
    return std::chrono::duration_cast<fakerouter::Time>(std::chrono::steady_clock::now().time_since_epoch());
}

std::string LiveRouter::console(const std::string &line, double after, bool &failed)
{
    std::lock_guard lock(mutex_);
    pauseDemo();
    std::string report = after > 0 ? player_.schedule(line, now(), milliseconds(static_cast<long long>(after * 1000)))
                                   : player_.submit(line, now());
    failed = report.rfind("error:", 0) == 0;
    lastLook_ = fakerouter::Time{0}; // the event thread looks at once
    return report;
}

void LiveRouter::fillCallList(const std::vector<std::string> &numbers, const std::string &own)
{
    std::lock_guard lock(mutex_);
    pauseDemo();
    // A tenth of a second between the lines of a call: the program reads
    // at most 128 bytes an idle event, and each call's bar is drawn.
    auto at = now();
    for (int i = 0; i < 36 && !numbers.empty(); ++i) {
        int id = i % 8;
        const std::string &number = numbers[static_cast<size_t>(i) % numbers.size()];
        bool missed = i % 5 == 2;
        auto step = milliseconds(100 * (3 * i));
        player_.schedule("ring " + std::to_string(id) + " " + number + " " + own, at, step);
        if (!missed)
            player_.schedule("connect " + std::to_string(id) + " 4 " + number, at, step + milliseconds(100));
        player_.schedule("disconnect " + std::to_string(id) + " " + std::to_string(missed ? 0 : 30 + 17 * i), at,
                         step + milliseconds(200));
    }
}

void LiveRouter::pauseDemo()
{
    if (script_.empty() || paused_)
        return;
    player_.play({}, now());
    paused_ = true;
}

void LiveRouter::resumeDemo()
{
    std::lock_guard lock(mutex_);
    if (script_.empty() || !paused_)
        return;
    player_.play(script_, now(), loops_);
    paused_ = false;
}

void LiveRouter::advance()
{
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock)
        return;
    // The player is asked when something is due, and every 50 ms for
    // clients that came or went: not at each of the hundred idle events a
    // second, each of which would cost an accept() on the listening socket.
    auto t = now();
    auto due = player_.nextDue();
    if (!(due && *due <= t) && t - lastLook_ < milliseconds(50))
        return;
    lastLook_ = t;
    player_.advance(t);
    lines_ = player_.lineStates();
    clients_ = static_cast<int>(player_.clients());
}

const std::vector<std::string> &LiveRouter::lines() const
{
    return lines_;
}

int LiveRouter::clients() const
{
    return clients_;
}

} // namespace sim
