#include "receiver.h"

#include "firmware.h"
#include "network.h"

namespace sim
{

bool Receiver::start()
{
    // An earlier program's TAP_Exit does not end this one.
    firmware().receiver.exitRequested = false;
    network().forgetRouterFacts();
    startTick_ = firmware().clock.tick();
    ProgramCall inProgram;
    resident_ = program_.main() == 1;
    state_ = resident_ ? State::running : State::notResident;
    if (!resident_)
        firmware().journal.note("TAP_Main did not return 1: program not resident");
    return resident_;
}

dword Receiver::event(dword code, dword param)
{
    if (!resident_)
        return param;
    dword result;
    {
        ProgramCall inProgram;
        ++events_;
        result = program_.eventHandler(code, param, 0);
    }
    if (firmware().receiver.exitRequested && resident_) {
        resident_ = false;
        state_ = State::endedItself;
        lastShown_ = firmware().osd.lastRemovedTexts();
        firmware().journal.note("program ended itself");
    }
    return result;
}

void Receiver::stop()
{
    if (!resident_)
        return;
    event(EVT_STOP, 0);
    resident_ = false;
    // A program that calls TAP_Exit on the stop event was still stopped.
    state_ = State::stopped;
    lastShown_.clear();
}

void Receiver::run(uint32_t ticks, const std::function<void()> &beforeIdle)
{
    for (uint32_t i = 0; i < ticks && resident_; ++i) {
        firmware().clock.advance(1);
        if (beforeIdle)
            beforeIdle();
        idle();
    }
}

} // namespace sim
