#include "routerPlayer.h"

namespace sim
{

using fakerouter::Action;
using std::chrono::milliseconds;

RouterPlayer::RouterPlayer(std::vector<fakerouter::Step> script, Report report, bool loops)
    : router_(0), script_(std::move(script)), report_(std::move(report)), loop_(loops)
{
    thread_ = std::thread([this] { loop(); });
}

RouterPlayer::~RouterPlayer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    for (Job &job : jobs_)
        job.report.set_value("the router has stopped");
}

std::string RouterPlayer::submit(const std::string &line)
{
    Job job;
    try {
        job.command = fakerouter::parseCommand(line);
    } catch (const fakerouter::SyntaxError &e) {
        return std::string("error: ") + e.what();
    }
    if (job.command.action == Action::Quit)
        return "the router inside the simulator ends with the simulator";
    if (job.command.action == Action::WaitClient)
        return "wait client is for scripts";
    auto done = job.report.get_future();
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return "the router has stopped";
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
    return done.get();
}

std::string RouterPlayer::schedule(const std::string &line, milliseconds after)
{
    fakerouter::Command command;
    try {
        command = fakerouter::parseCommand(line);
    } catch (const fakerouter::SyntaxError &e) {
        return std::string("error: ") + e.what();
    }
    if (command.action == Action::Quit || command.action == Action::WaitClient)
        return "error: not a command for later";
    {
        std::lock_guard lock(mutex_);
        timers_.push_back({Clock::now() + after, command});
    }
    wake_.notify_all();
    char text[64];
    std::snprintf(text, sizeof text, "in %.1f s: ", static_cast<double>(after.count()) / 1000);
    return text + line;
}

void RouterPlayer::replay()
{
    {
        std::lock_guard lock(mutex_);
        replay_ = true;
    }
    wake_.notify_all();
}

std::vector<std::string> RouterPlayer::lineStates() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

size_t RouterPlayer::clients() const
{
    std::lock_guard lock(mutex_);
    return clients_;
}

// The router's own view of its lines, from the event lines it sends.
void RouterPlayer::noteLine(const fakerouter::Command &command)
{
    if (command.action != Action::Send && command.action != Action::Drip)
        return;
    std::string_view text = command.text;
    if (command.asIs && fakerouter::startsWithTimestamp(text))
        text.remove_prefix(text.find(';') + 1);
    auto semicolon = text.find(';');
    if (semicolon == std::string_view::npos)
        return;
    std::string_view word = text.substr(0, semicolon);
    int id = std::atoi(std::string(text.substr(semicolon + 1)).c_str());
    if (id < 0 || id > 7)
        return;
    const char *state = word == "RING"         ? "ring"
                        : word == "CALL"       ? "call"
                        : word == "CONNECT"    ? "connect"
                        : word == "DISCONNECT" ? "idle"
                                               : nullptr;
    if (!state)
        return;
    std::lock_guard lock(mutex_);
    lines_[static_cast<size_t>(id)] = state;
}

std::string RouterPlayer::execute(const fakerouter::Command &command)
{
    noteLine(command);
    std::string text;
    try {
        text = fakerouter::perform(router_, command);
    } catch (const std::exception &e) {
        text = std::string("error: ") + e.what();
    }
    if (auto next = fakerouter::followUp(command)) {
        std::lock_guard lock(mutex_);
        timers_.push_back({Clock::now() + command.duration, *next});
    }
    if (report_)
        report_(text);
    return text;
}

void RouterPlayer::playScript()
{
    // A step is due its delay after the previous step was due, so a slow
    // step does not shift the ones after it.
    while (step_ < script_.size()) {
        const fakerouter::Step &step = script_[step_];
        if (Clock::now() < lastDue_ + step.delay)
            return;
        if (step.command.action == Action::WaitClient) {
            if (!router_.hasClient())
                return;
            lastDue_ = Clock::now();
        } else {
            lastDue_ += step.delay;
            execute(step.command);
        }
        if (++step_ == script_.size()) {
            if (report_)
                report_(loop_ ? "script finished; it starts again" : "script finished");
            if (loop_) {
                step_ = 0;
                return; // an hour of calls, or none at all, never spins
            }
        }
    }
}

void RouterPlayer::loop()
{
    lastDue_ = Clock::now();
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        std::deque<Job> jobs;
        jobs.swap(jobs_);
        if (replay_) {
            replay_ = false;
            step_ = 0;
            lastDue_ = Clock::now();
        }
        auto due = std::move(timers_);
        timers_.clear();
        lock.unlock();

        router_.acceptPending();
        if (router_.clientCount() != clients_ && report_)
            report_(std::to_string(router_.clientCount()) + " client(s) connected");
        {
            std::lock_guard guard(mutex_);
            clients_ = router_.clientCount();
        }
        std::vector<std::pair<Clock::time_point, fakerouter::Command>> later;
        for (auto &timer : due) {
            if (timer.first <= Clock::now())
                execute(timer.second);
            else
                later.push_back(timer);
        }
        playScript();
        for (Job &job : jobs)
            job.report.set_value(execute(job.command));

        // Clients come and go without telling, so look again soon.
        auto next = Clock::now() + milliseconds(50);
        if (step_ < script_.size() && script_[step_].command.action != Action::WaitClient)
            next = std::min(next, lastDue_ + script_[step_].delay);
        for (const auto &timer : later)
            next = std::min(next, timer.first);
        lock.lock();
        for (auto &timer : later)
            timers_.push_back(timer);
        wake_.wait_until(lock, next,
                         [&] { return stopping_ || !jobs_.empty() || replay_ || timers_.size() > later.size(); });
    }
}

} // namespace sim
