#include "receiver.h"

#include "firmware.h"
#include "network.h"

namespace sim
{

bool Receiver::start()
{
    // An earlier program's TAP_Exit does not end this one.
    firmware().receiver.exitRequested = false;
    ProgramCall inProgram;
    resident_ = program_.main() == 1;
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
    if (firmware().receiver.exitRequested) {
        resident_ = false;
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
