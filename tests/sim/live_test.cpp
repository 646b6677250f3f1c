// Pieces of live mode: the latency figures are the order statistics they
// claim to be. (The fake router's player, which live mode drives, is tested
// with the fake router.)
#include <gtest/gtest.h>

#include "live.h"

namespace
{

TEST(Latency, MedianAndPercentileAreOrderStatistics)
{
    std::vector<double> samples;
    for (int i = 100; i >= 1; --i)
        samples.push_back(i);
    sim::LatencySummary s = sim::summarize(samples);
    EXPECT_EQ(s.count, 100u);
    EXPECT_DOUBLE_EQ(s.median, 50.5);
    EXPECT_DOUBLE_EQ(s.p99, 99);
    EXPECT_DOUBLE_EQ(s.max, 100);
    EXPECT_DOUBLE_EQ(s.mean, 50.5);

    s = sim::summarize({7, 1, 3});
    EXPECT_DOUBLE_EQ(s.median, 3);
    EXPECT_DOUBLE_EQ(s.p99, 7);
    EXPECT_EQ(sim::summarize({}).count, 0u);
}

} // namespace
