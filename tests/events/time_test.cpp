// Durations as the status window and the call list print them, and the
// receiver's clock read as seconds since 1970.
#include <climits>
#include <cstring>
#include <string>

#include "event_test.h"

namespace events_test
{
namespace
{

std::string duration(int seconds)
{
    // The contract is 16 bytes; the guard behind them must stay untouched.
    char buffer[16 + 8];
    std::memset(buffer, '#', sizeof buffer);
    char *result = getDuration(buffer, seconds);
    EXPECT_EQ(result, buffer);
    EXPECT_LT(std::strlen(buffer), 16u) << seconds;
    EXPECT_EQ(std::string(buffer + 16, 8), std::string(8, '#')) << seconds;
    return buffer;
}

TEST(GetDuration, WritesHoursMinutesAndSeconds)
{
    EXPECT_EQ(duration(0), "00:00:00");
    EXPECT_EQ(duration(59), "00:00:59");
    EXPECT_EQ(duration(60), "00:01:00");
    EXPECT_EQ(duration(125), "00:02:05");
    EXPECT_EQ(duration(3661), "01:01:01");
    EXPECT_EQ(duration(86399), "23:59:59");
    EXPECT_EQ(duration(359999), "99:59:59");
    EXPECT_EQ(duration(360000), "100:00:00"); // hours are never cut
}

TEST(GetDuration, EveryIntFitsSixteenBytes)
{
    EXPECT_EQ(duration(INT_MAX), "596523:14:07");
    // A negative duration can only come from a broken router line; it still
    // prints in bounds, with the truncating arithmetic's signs.
    EXPECT_EQ(duration(-1), "00:00:-1");
    EXPECT_EQ(duration(-3599), "00:-59:-59");
    EXPECT_EQ(duration(INT_MIN), "-596523:-14:-8");
}

class CurrentTimeTest : public test::FirmwareTest
{
};

TEST_F(CurrentTimeTest, ReadsTheReceiverClockAsSecondsSince1970)
{
    // 29 February 2024, 23:59:59 UTC.
    fw().clock.startVirtual(0, 1709251199);
    EXPECT_EQ(getCurrentTime(), 1709251199);
    EXPECT_EQ(prints(), std::vector<std::string>{"Year:2024\n"});
    fw().clock.advance(100); // one second later it is March
    EXPECT_EQ(getCurrentTime(), 1709251200);
    EXPECT_EQ(journal().countPrints("Year:2024\n"), 2u);
}

TEST_F(CurrentTimeTest, TakesTheClockAsStandardTime)
{
    // In a zone with summer time the receiver's clock shows summer time, but
    // it is read as standard time: one hour late.
    sim::pinTimeZone("Europe/Berlin");
    fw().clock.startVirtual(0, 1751371200); // 1 July 2025, 12:00 UTC, 14:00 in Berlin
    EXPECT_EQ(getCurrentTime(), 1751371200 + 3600);
    fw().clock.startVirtual(0, 1735732800); // 1 January 2025, 12:00 UTC, 13:00 in Berlin
    EXPECT_EQ(getCurrentTime(), 1735732800);
    sim::pinTimeZone("UTC");
}

} // namespace
} // namespace events_test
