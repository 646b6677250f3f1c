#include "routerPlayer.h"

namespace sim
{

using fakerouter::Action;
using std::chrono::milliseconds;

RouterPlayer::RouterPlayer(std::vector<fakerouter::Step> script, Report report)
    : router_(0), script_(std::move(script)), report_(std::move(report))
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

std::string RouterPlayer::execute(const fakerouter::Command &command)
{
    std::string text;
    try {
        text = fakerouter::perform(router_, command);
    } catch (const std::exception &e) {
        text = std::string("error: ") + e.what();
    }
    if (auto next = fakerouter::followUp(command))
        timers_.push_back({Clock::now() + command.duration, *next});
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
        if (++step_ == script_.size() && report_)
            report_("script finished");
    }
}

void RouterPlayer::loop()
{
    lastDue_ = Clock::now();
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        std::deque<Job> jobs;
        jobs.swap(jobs_);
        lock.unlock();

        router_.acceptPending();
        if (router_.clientCount() != clients_ && report_)
            report_(std::to_string(router_.clientCount()) + " client(s) connected");
        clients_ = router_.clientCount();
        for (size_t i = 0; i < timers_.size();) {
            if (timers_[i].first <= Clock::now()) {
                auto command = timers_[i].second;
                timers_.erase(timers_.begin() + static_cast<long>(i));
                execute(command);
            } else {
                ++i;
            }
        }
        playScript();
        for (Job &job : jobs)
            job.report.set_value(execute(job.command));

        // Clients come and go without telling, so look again soon.
        auto next = Clock::now() + milliseconds(50);
        if (step_ < script_.size() && script_[step_].command.action != Action::WaitClient)
            next = std::min(next, lastDue_ + script_[step_].delay);
        for (const auto &timer : timers_)
            next = std::min(next, timer.first);
        lock.lock();
        wake_.wait_until(lock, next, [this] { return stopping_ || !jobs_.empty(); });
    }
}

} // namespace sim
