// The firmware's event loop around one program: start it, hand it idle, key
// and stop events, and notice when it ends itself. In virtual time one idle
// event comes per tick.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

  private:
    ProgramEntries program_;
    bool resident_ = false;
    uint64_t events_ = 0;
};

} // namespace sim
