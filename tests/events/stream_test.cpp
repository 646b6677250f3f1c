// A whole evening of calls as one byte stream: however the connection cuts
// it into reads, the status window gets the same messages and the caller
// list the same calls.
#include <algorithm>
#include <functional>
#include <string>

#include "event_test.h"

namespace events_test
{
namespace
{

// Several calls overlapping on four lines: answered, missed, outgoing,
// filtered out, an unknown word, a repeated line, local numbers. Its first
// lines open every slot it uses and overwrite the message record, so what a
// pass of it does is the same whatever an earlier pass left behind.
std::string evening()
{
    return ring(0, "0301234567", "5550001") + call(2, "5550002", "0309876543") + connect(0, "0301234567") +
           ring(4, "7654321", "5550001") + connect(2, "0309876543") + routerLine("HOLD;2;") + disconnect(4, "0") +
           ring(6, "0302222222", "5559999") + connect(6, "0302222222") + disconnect(0, "65") + "\r\n" +
           disconnect(2, "125") + disconnect(6, "30") + call(5, "5550001", "01701234567") + connect(5, "01701234567") +
           disconnect(5, "3600") + ring(1, "0301234567", "5550001") + disconnect(1, "0");
}

const size_t callsPerEvening = 6;

class StreamTest : public EventTest
{
  protected:
    void SetUp() override
    {
        EventTest::SetUp();
        loadBook("0301234567 = Anna M\374ller, anna.jpg, Schwester\n"
                 "5550001 = B\374ro\n"
                 "0309876543 = Bernd, , Kollege\n");
        setAreaCode("030");
        setMSNs("5550001 5550002");
    }

    // What one pass of the stream did: the messages with the parser record
    // behind them, the calls it added to the caller list, the debug lines.
    std::string pass(const std::function<void()> &feedStream)
    {
        shown().clear();
        journal().clear();
        feedStream();
        std::string out;
        for (const Shown &s : shown())
            out += "shown " + describe(s.message) + " / " + describe(s.monitor) + "\n";
        std::vector<Call> calls = callerList();
        calls.resize(std::min(calls.size(), callsPerEvening));
        for (const Call &c : calls)
            out += "call " + std::to_string(c.time) + " " + std::to_string(c.duration) + " " + std::to_string(c.state) +
                   " " + c.number + "\n";
        for (const std::string &line : prints())
            out += "print " + sim::escapeText(line) + "\n";
        return out;
    }
};

TEST_F(StreamTest, TheUnsplitStreamGivesTheExpectedEvening)
{
    feed(evening(), 1 << 20);
    // Line 6 rang a number outside the MSN list: none of its lines shows.
    EXPECT_EQ(shown().size(), 15u);
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart, 0, CALL_MISSED, "0301234567"},
                                               {clockStart, 3600, CALL_OUTGOING, "01701234567"},
                                               {clockStart, 125, CALL_OUTGOING, "0309876543"},
                                               {clockStart, 65, CALL_INCOMING, "0301234567"},
                                               {clockStart, 65, CALL_INCOMING, "0301234567"},
                                               {clockStart, 0, CALL_MISSED, "0307654321"}}));
}

TEST_F(StreamTest, CutAtEveryBytePositionTheStreamGivesTheSameEvening)
{
    const std::string stream = evening();
    pass([&] { feed(stream, stream.size()); });
    const std::string whole = pass([&] { feed(stream, stream.size()); });
    // A pass must not depend on the one before, or the comparison below
    // would test nothing but that.
    ASSERT_EQ(pass([&] { feed(stream, stream.size()); }), whole);
    ASSERT_NE(whole.find("shown "), std::string::npos);
    for (size_t cut = 1; cut < stream.size(); ++cut) {
        std::string split = pass([&] {
            feed(stream.substr(0, cut), cut);
            feed(stream.substr(cut), stream.size());
        });
        ASSERT_EQ(split, whole) << "cut at byte " << cut;
    }
}

TEST_F(StreamTest, ReadsOfAnySizeGiveTheSameEvening)
{
    const std::string stream = evening();
    pass([&] { feed(stream, stream.size()); });
    const std::string whole = pass([&] { feed(stream, stream.size()); });
    for (size_t chunk : {1u, 2u, 3u, 7u, 64u, 127u, 128u})
        EXPECT_EQ(pass([&] { feed(stream, chunk); }), whole) << "reads of " << chunk << " bytes";
}

} // namespace
} // namespace events_test
