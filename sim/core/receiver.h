// The firmware's event loop around one program: start it, hand it idle, key
// and stop events, and notice when it ends itself. In virtual time one idle
// event comes per tick.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "loader.h"

namespace sim
{

class Receiver
{
  public:
    explicit Receiver(ProgramEntries program) : program_(program) {}

    // TAP_Main; false when the program did not ask to stay resident.
    bool start();
    dword event(dword code, dword param);
    dword idle() { return event(EVT_IDLE, 0); }
    dword key(dword code) { return event(EVT_KEY, code); }
    void stop();

    // Advance virtual time tick by tick with one idle event each, until the
    // program ends or `ticks` have passed. `beforeIdle` runs before each idle
    // event (the scenario's router uses it).
    void run(uint32_t ticks, const std::function<void()> &beforeIdle = {});

    bool resident() const { return resident_; }
    uint64_t events() const { return events_; }

    // Whether the program runs, and how it ended when it does not.
    enum class State { loaded, running, endedItself, stopped, notResident };
    State state() const { return state_; }
    // What the program showed last before it ended itself (the texts of the
    // display region it removed last, Latin-1); empty otherwise.
    const std::vector<std::string> &lastShown() const { return lastShown_; }
    // The receiver tick at which the program was started.
    uint32_t startTick() const { return startTick_; }

  private:
    ProgramEntries program_;
    bool resident_ = false;
    State state_ = State::loaded;
    uint32_t startTick_ = 0;
    std::vector<std::string> lastShown_;
    uint64_t events_ = 0;
};

} // namespace sim
