// The caller list: newest first, at most 36, the oldest dropped by the 37th
// call, and a short heap costing only the call that found it short.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "store_test.h"

#include "store/callerlist.h"

namespace
{

constexpr int callIncoming = 1;
constexpr int callMissed = 2;
constexpr int callOutgoing = 3;

class CallerList : public store_test::StoreTest
{
  protected:
    // Call i: time 1000 + i, number "0301000i", duration i, outgoing.
    int addNumbered(int i)
    {
        std::string number = "030" + std::to_string(1000 + i);
        return addCall(1000 + i, number.c_str(), i, callOutgoing);
    }

    // The times along `older` from the newest, checking each back link.
    std::vector<int> timesNewestFirst()
    {
        std::vector<int> out;
        const CallEntry *newer = nullptr;
        for (const CallEntry *e = getCallerList(); e != nullptr && out.size() < 100; e = e->older) {
            EXPECT_EQ(e->newer, newer) << "broken back link at time " << e->time;
            out.push_back(e->time);
            newer = e;
        }
        return out;
    }

    std::vector<int> expectedTimes(int newest, int oldest)
    {
        std::vector<int> out;
        for (int i = newest; i >= oldest; --i)
            out.push_back(1000 + i);
        return out;
    }

    void TearDown() override
    {
        unloadCallerList();
        EXPECT_EQ(liveBlocks(), 0u) << "unloading left heap blocks behind";
        StoreTest::TearDown();
    }
};

TEST_F(CallerList, StartsEmpty)
{
    EXPECT_EQ(getCallerList(), nullptr);
    EXPECT_EQ(getCallEntries(), 0);
}

TEST_F(CallerList, OneCallIsNewestAndOldest)
{
    EXPECT_EQ(addCall(1796754600, "0301234", 75, callIncoming), CALL_ADDED);
    const CallEntry *entry = getCallerList();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->time, 1796754600);
    EXPECT_EQ(entry->duration, 75);
    EXPECT_EQ(entry->state, callIncoming);
    EXPECT_STREQ(entry->number, "0301234");
    EXPECT_EQ(entry->newer, nullptr);
    EXPECT_EQ(entry->older, nullptr);
    EXPECT_EQ(getCallEntries(), 1);
}

TEST_F(CallerList, MissedCallIsStoredLikeAnyOther)
{
    ASSERT_EQ(addCall(5, "0301234", 0, callMissed), CALL_ADDED);
    EXPECT_EQ(getCallerList()->state, callMissed);
    EXPECT_EQ(getCallerList()->duration, 0);
}

TEST_F(CallerList, NumberIsCopiedAndCutTo31Characters)
{
    char number[33];
    std::memset(number, '7', 32);
    number[32] = '\0';
    ASSERT_EQ(addCall(1, number, 0, callIncoming), CALL_ADDED);
    number[0] = 'x';
    EXPECT_EQ(std::string(getCallerList()->number), std::string(31, '7'));
}

TEST_F(CallerList, ThirtySixCallsAreHeldNewestFirst)
{
    for (int i = 1; i <= 36; ++i)
        ASSERT_EQ(addNumbered(i), CALL_ADDED);
    EXPECT_EQ(getCallEntries(), 36);
    EXPECT_EQ(timesNewestFirst(), expectedTimes(36, 1));
    EXPECT_EQ(liveBlocks(), 36u);
}

TEST_F(CallerList, The37thCallDropsTheOldest)
{
    for (int i = 1; i <= 37; ++i)
        ASSERT_EQ(addNumbered(i), CALL_ADDED);
    EXPECT_EQ(getCallEntries(), 36);
    EXPECT_EQ(timesNewestFirst(), expectedTimes(37, 2));
    EXPECT_EQ(liveBlocks(), 36u) << "the dropped entry must be freed";

    ASSERT_EQ(addNumbered(38), CALL_ADDED);
    EXPECT_EQ(getCallEntries(), 36);
    EXPECT_EQ(timesNewestFirst(), expectedTimes(38, 3));
    EXPECT_EQ(liveBlocks(), 36u);
}

TEST_F(CallerList, ManyCallsKeepTheNewest36)
{
    for (int i = 1; i <= 500; ++i)
        ASSERT_EQ(addNumbered(i), CALL_ADDED);
    EXPECT_EQ(timesNewestFirst(), expectedTimes(500, 465));
    EXPECT_EQ(liveBlocks(), 36u);
}

TEST_F(CallerList, CallFindingTheHeapShortIsNotRecorded)
{
    for (int i = 1; i <= 3; ++i)
        ASSERT_EQ(addNumbered(i), CALL_ADDED);
    const CallEntry *newest = getCallerList();

    fw().heap.failAllocation(fw().heap.allocationCount() + 1);
    EXPECT_EQ(addNumbered(4), CALL_NO_MEMORY);
    EXPECT_EQ(getCallerList(), newest);
    EXPECT_EQ(getCallEntries(), 3);
    EXPECT_EQ(timesNewestFirst(), expectedTimes(3, 1));

    EXPECT_EQ(addNumbered(5), CALL_ADDED);
    EXPECT_EQ(getCallEntries(), 4);
    EXPECT_EQ(timesNewestFirst(), (std::vector<int>{1005, 1003, 1002, 1001}));
    EXPECT_TRUE(prints().empty());
}

TEST_F(CallerList, FullListFindingTheHeapShortKeepsAll36)
{
    for (int i = 1; i <= 36; ++i)
        ASSERT_EQ(addNumbered(i), CALL_ADDED);
    fw().heap.failAllocation(fw().heap.allocationCount() + 1);
    EXPECT_EQ(addNumbered(37), CALL_NO_MEMORY);
    EXPECT_EQ(timesNewestFirst(), expectedTimes(36, 1)) << "nothing may be dropped for a call not added";
}

TEST_F(CallerList, HeapIsAskedBeforeTheAllocation)
{
    heapWithAvailable(sizeof(CallEntry));
    EXPECT_EQ(addNumbered(1), CALL_NO_MEMORY);
    EXPECT_EQ(fw().heap.allocationCount(), 0u) << "allocated although the heap was short";
    // The heap is replaced below, which only works while nothing is held.
    ASSERT_EQ(getCallEntries(), 0);

    heapWithAvailable(sizeof(CallEntry) + 1);
    EXPECT_EQ(fw().heap.allocationCount(), 0u);
    addNumbered(2);
    EXPECT_EQ(fw().heap.allocationCount(), 1u) << "with size + 1 bytes the call is tried";
}

TEST_F(CallerList, UnloadEmptiesTheListForNewCalls)
{
    for (int i = 1; i <= 40; ++i)
        ASSERT_EQ(addNumbered(i), CALL_ADDED);
    unloadCallerList();
    EXPECT_EQ(liveBlocks(), 0u);
    EXPECT_EQ(getCallerList(), nullptr);
    EXPECT_EQ(getCallEntries(), 0);

    ASSERT_EQ(addNumbered(41), CALL_ADDED);
    EXPECT_EQ(timesNewestFirst(), std::vector<int>{1041});
}

} // namespace
