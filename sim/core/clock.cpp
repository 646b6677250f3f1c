#include "clock.h"

namespace sim
{

void Clock::startVirtual(uint32_t startTick, std::time_t wallStart)
{
    virtual_ = true;
    startTick_ = startTick;
    elapsed_ = 0;
    wallStart_ = wallStart;
}

void Clock::startReal(uint32_t startTick)
{
    virtual_ = false;
    startTick_ = startTick;
    realStart_ = std::chrono::steady_clock::now();
}

uint32_t Clock::tick() const
{
    if (virtual_)
        return static_cast<uint32_t>(startTick_ + elapsed_);
    auto cs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart_).count() /
        10;
    return static_cast<uint32_t>(startTick_ + static_cast<uint64_t>(cs));
}

void Clock::advance(uint32_t ticks)
{
    if (virtual_)
        elapsed_ += ticks;
}

std::time_t Clock::wallTime() const
{
    if (virtual_)
        return wallStart_ + static_cast<std::time_t>(elapsed_ / 100);
    return std::time(nullptr);
}

ClockReading Clock::reading() const
{
    std::time_t t = wallTime();
    std::tm local{};
    localtime_r(&t, &local);
    // Days since 1970 of the local date, whatever the time zone.
    std::tm utc{};
    utc.tm_year = local.tm_year;
    utc.tm_mon = local.tm_mon;
    utc.tm_mday = local.tm_mday;
    int64_t days = static_cast<int64_t>(timegm(&utc)) / 86400;
    return {mjdOfDays(days), static_cast<uint8_t>(local.tm_hour), static_cast<uint8_t>(local.tm_min),
            static_cast<uint8_t>(local.tm_sec)};
}

CalendarDate Clock::dateOfMjd(uint16_t mjd)
{
    // Civil date from a day count (proleptic Gregorian), days since 1970.
    int64_t z = static_cast<int64_t>(mjd) - 40587 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
    // 1858-11-17 (MJD 0) was a Wednesday.
    uint8_t weekDay = static_cast<uint8_t>((mjd + 2) % 7);
    return {static_cast<uint16_t>(y), static_cast<uint8_t>(m), static_cast<uint8_t>(d), weekDay};
}

} // namespace sim
