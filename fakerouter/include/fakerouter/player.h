// Plays the fake router's commands in time: a script's steps, commands typed or scheduled for later, the
// ends of timed refusals and silences, and a drip's bytes. The player never sleeps and starts no thread:
// whoever drives it says what time it is, with a real clock (the command-line tool, live mode) or a
// virtual one (the scenario runner), and asks when there is work next.
#pragma once

#include "fakerouter/commands.h"
#include "fakerouter/fakeRouter.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fakerouter
{

// A point on the driver's clock, counted from any start it likes.
using Time = std::chrono::milliseconds;

class Player
{
  public:
    // Carries out one command and returns its report; fakerouter::perform on the router unless replaced
    // (a simulator waits there until the bytes have arrived).
    using Performer = std::function<std::string(const Command &)>;
    // Hears every report: what each command did, clients coming and going, the script's progress, a drip's
    // end (its bytes in between go without a word).
    using Listener = std::function<void(const std::string &)>;

    explicit Player(FakeRouter &router);

    void setPerformer(Performer performer) { performer_ = std::move(performer); }
    void setListener(Listener listener) { listener_ = std::move(listener); }
    // Whether `quit` ends the player (the command-line tool) or is refused (where the router lives as long
    // as its host).
    void setQuitAllowed(bool allowed) { quitAllowed_ = allowed; }

    // Plays `script` from `now` on, replacing one that played before; a looping script starts again once
    // it has played.
    void play(std::vector<Step> script, Time now, bool loops = false);
    // The same script again from its start.
    void replay(Time now);

    // One command in the router's language, carried out now; returns its report or the mistake
    // ("error: ...").
    std::string submit(std::string_view line, Time now);
    // The same, carried out `after` from now by a later advance(); returns at once.
    std::string schedule(std::string_view line, Time now, Time after);
    // A command carried out now; a timed refuse or silent leaves its end for a later advance().
    std::string perform(const Command &command, Time now);

    // Does everything due by `now`: notices clients, ends refusals and silences, sends the bytes of a drip,
    // plays the script's steps. What is late comes at once, each at the time it was due.
    void advance(Time now);
    // When advance() has work next; nullopt when only a newcomer can bring any (a client for `wait
    // client`) or nothing is left. Clients come without telling, so a driver also looks now and then.
    std::optional<Time> nextDue() const;

    bool scriptFinished() const { return !loops_ && step_ == script_.size(); }
    bool timersPending() const { return !timers_.empty(); }
    bool quitRequested() const { return quit_; }
    std::size_t clients() const { return clients_; }
    // What the router last said on each connection id 0..7: "idle", "ring", "call" or "connect".
    const std::vector<std::string> &lineStates() const { return lines_; }

  private:
    std::string execute(const Command &command, Time now);
    void noteLine(const Command &command);
    void noticeClients();
    void runTimers(Time now);
    void playScript(Time now);
    void report(const std::string &text);

    FakeRouter &router_;
    Performer performer_;
    Listener listener_;
    bool quitAllowed_ = true;
    bool quit_ = false;

    std::vector<Step> script_;
    bool loops_ = false;
    std::size_t step_ = 0;
    Time lastDue_{0}; // when the step before was due, or the client for `wait client` came
    bool waitingForClient_ = false;

    struct Timer {
        Time due;
        Command command;
    };
    std::vector<Timer> timers_; // in the order they were set; a drip's next byte is one
    std::size_t clients_ = 0;
    std::vector<std::string> lines_ = std::vector<std::string>(8, "idle");
};

} // namespace fakerouter
