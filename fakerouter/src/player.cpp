// The one script player of the fake router, driven by whoever owns the clock.
#include "fakerouter/player.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fakerouter
{

Player::Player(FakeRouter &router)
    : router_(router), performer_([this](const Command &command) { return fakerouter::perform(router_, command); })
{
}

void Player::report(const std::string &text)
{
    if (listener_ && !text.empty())
        listener_(text);
}

void Player::play(std::vector<Step> script, Time now, bool loops)
{
    script_ = std::move(script);
    loops_ = loops;
    replay(now);
}

void Player::replay(Time now)
{
    step_ = 0;
    lastDue_ = now;
    waitingForClient_ = false;
}

std::string Player::submit(std::string_view line, Time now)
{
    Command command;
    try {
        command = parseCommand(line);
    } catch (const SyntaxError &error) {
        return std::string("error: ") + error.what();
    }
    return perform(command, now);
}

std::string Player::schedule(std::string_view line, Time now, Time after)
{
    Command command;
    try {
        command = parseCommand(line);
    } catch (const SyntaxError &error) {
        return std::string("error: ") + error.what();
    }
    if (command.action == Action::Quit)
        return "error: not a command for later";
    timers_.push_back({now + after, command});
    char text[64];
    std::snprintf(text, sizeof text, "in %.1f s: ", static_cast<double>(after.count()) / 1000);
    return text + std::string(line);
}

std::string Player::perform(const Command &command, Time now)
{
    if (command.action == Action::Quit && !quitAllowed_)
        return "quit means nothing here: the router ends with the program it runs in";
    return execute(command, now);
}

std::string Player::execute(const Command &command, Time now)
{
    noteLine(command);
    if (command.action == Action::Drip) // it replaces a drip under way, and with it that drip's next byte
        std::erase_if(timers_, [](const Timer &timer) { return timer.command.action == Action::DripNext; });
    std::string text;
    try {
        text = performer_(command);
    } catch (const std::exception &error) {
        text = std::string("error: ") + error.what();
    }
    if (auto next = followUp(command))
        timers_.push_back({now + command.duration, *next});
    if ((command.action == Action::Drip || command.action == Action::DripNext) && router_.dripLeft() > 0) {
        Command next;
        next.action = Action::DripNext;
        next.duration = command.duration;
        timers_.push_back({now + command.duration, next});
    }
    if (command.action == Action::Quit)
        quit_ = true;
    report(text);
    noticeClients();
    return text;
}

// The router's own view of its lines, from the event lines it sends.
void Player::noteLine(const Command &command)
{
    if (command.action != Action::Send && command.action != Action::Drip)
        return;
    std::string_view text = command.text;
    if (command.asIs && startsWithTimestamp(text))
        text.remove_prefix(text.find(';') + 1);
    auto semicolon = text.find(';');
    if (semicolon == std::string_view::npos)
        return;
    std::string_view word = text.substr(0, semicolon);
    int id = std::atoi(std::string(text.substr(semicolon + 1)).c_str());
    const char *state = word == "RING"         ? "ring"
                        : word == "CALL"       ? "call"
                        : word == "CONNECT"    ? "connect"
                        : word == "DISCONNECT" ? "idle"
                                               : nullptr;
    if (state && id >= 0 && id < static_cast<int>(lines_.size()))
        lines_[static_cast<std::size_t>(id)] = state;
}

void Player::noticeClients()
{
    bool came = router_.acceptPending();
    if (came || router_.clientCount() != clients_)
        report(std::to_string(router_.clientCount()) + " client(s) connected");
    clients_ = router_.clientCount();
}

void Player::runTimers(Time now)
{
    // The earliest first, ties in the order they were set; a timer may set another that is due by now as
    // well (a refuse typed for later sets its end, a drip its next byte), which runs in this turn too.
    for (;;) {
        auto first = std::min_element(timers_.begin(), timers_.end(),
                                      [](const Timer &a, const Timer &b) { return a.due < b.due; });
        if (first == timers_.end() || first->due > now)
            return;
        Timer timer = std::move(*first);
        timers_.erase(first);
        execute(timer.command, timer.due);
    }
}

void Player::playScript(Time now)
{
    // A step is due its delay after the step before was due, so a slow step does not shift the ones
    // after it.
    while (step_ < script_.size() && !quit_) {
        const Step &step = script_[step_];
        if (now < lastDue_ + step.delay)
            return;
        if (step.command.action == Action::WaitClient) {
            if (!waitingForClient_)
                report("script waits for a client");
            waitingForClient_ = true;
            if (!router_.hasClient())
                return;
            waitingForClient_ = false;
            lastDue_ = now;
        } else {
            lastDue_ += step.delay;
            execute(step.command, lastDue_);
        }
        if (++step_ == script_.size()) {
            report(loops_ ? "script finished; it starts again" : "script finished");
            if (loops_) {
                step_ = 0;
                return; // an hour of calls, or none at all, never spins
            }
        }
    }
}

void Player::advance(Time now)
{
    noticeClients();
    runTimers(now);
    playScript(now);
}

std::optional<Time> Player::nextDue() const
{
    std::optional<Time> next;
    if (step_ < script_.size() && !waitingForClient_ && !quit_)
        next = lastDue_ + script_[step_].delay;
    for (const Timer &timer : timers_)
        next = next ? std::min(*next, timer.due) : timer.due;
    return next;
}

} // namespace fakerouter
