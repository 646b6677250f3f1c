// Ticks (100 per second) and the receiver's clock. Virtual time moves only
// when the simulator says so, which makes scenarios deterministic; real time
// follows the PC's clocks for live use. The start tick is settable so that
// the 32-bit wrap of the tick counter can be tested.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace sim
{

struct ClockReading {
    uint16_t mjd;
    uint8_t hour, minute, second;
};

struct CalendarDate {
    uint16_t year;
    uint8_t month, day, weekDay; // weekDay: 0 = Monday ... 6 = Sunday
};

class Clock
{
  public:
    // Virtual time: tick and local wall-clock time at the start.
    void startVirtual(uint32_t startTick, std::time_t wallStart);
    void startReal(uint32_t startTick = 0);

    bool isVirtual() const { return virtual_; }
    uint32_t tick() const;
    void advance(uint32_t ticks); // virtual time only
    std::time_t wallTime() const; // seconds since 1970, read as the receiver's local time
    ClockReading reading() const;

    static CalendarDate dateOfMjd(uint16_t mjd);
    static uint16_t mjdOfDays(int64_t daysSince1970) { return static_cast<uint16_t>(daysSince1970 + 40587); }

  private:
    bool virtual_ = true;
    uint32_t startTick_ = 0;
    uint64_t elapsed_ = 0; // virtual ticks since start
    std::time_t wallStart_ = 0;
    std::chrono::steady_clock::time_point realStart_{};
};

} // namespace sim
