// The router line parser: fields collected across chunks, cut, skipped and
// left open, as the line handler then sees them.
#include <climits>
#include <cstdlib>

#include "event_test.h"

namespace events_test
{
namespace
{

class ParserTest : public EventTest
{
};

TEST(GetCommand, KnowsTheFourWordsExactly)
{
    EXPECT_EQ(getCommand("CALL"), EVENT_CALL);
    EXPECT_EQ(getCommand("CONNECT"), EVENT_CONNECT);
    EXPECT_EQ(getCommand("RING"), EVENT_RING);
    EXPECT_EQ(getCommand("DISCONNECT"), EVENT_DISCONNECT);
    for (const char *other : {"", "ring", "Ring", "RING ", " RING", "CALLS", "CONNECTED", "DISCONNEC", "X"})
        EXPECT_EQ(getCommand(other), EVENT_UNKNOWN) << '"' << other << '"';
}

TEST(ReadDecimal, ReadsAsAtoiDoesForEveryNumberOf32Bits)
{
    for (const char *text :
         {"0",    "7",   "-1",  "+5",  "  3", "\t\n\v\f\r 6", "12abc",       "abc",         "",    "-",   "+",
          " - 4", "--4", "+-4", "007", "-0",  "2147483647",   "-2147483648", "-2147483647", "4x5", "1 2", "\3406"})
        EXPECT_EQ(readDecimal(text), std::atoi(text)) << '"' << text << '"';
}

TEST(ReadDecimal, SaturatesBeyond32Bits)
{
    EXPECT_EQ(readDecimal("2147483648"), INT_MAX);
    EXPECT_EQ(readDecimal("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(readDecimal("4294967296"), INT_MAX); // would wrap to 0 when cut to 32 bits
    EXPECT_EQ(readDecimal("4294967297"), INT_MAX); // would wrap to 1
    EXPECT_EQ(readDecimal("-2147483649"), INT_MIN);
    EXPECT_EQ(readDecimal("-18446744073709551616"), INT_MIN);
    EXPECT_EQ(readDecimal("00000000000000000000000000002"), 2); // leading zeros are no overflow
}

TEST_F(ParserTest, CollectsTheFieldsOfALine)
{
    feed(ring(3, "0301234567", "5550001"));
    ASSERT_EQ(shown().size(), 1u);
    const MonitorState &m = shown()[0].monitor;
    EXPECT_EQ(m.command, EVENT_RING);
    EXPECT_EQ(m.connectionId, 3);
    EXPECT_STREQ(m.token, "3");
    EXPECT_STREQ(m.param3, "0301234567");
    EXPECT_STREQ(m.param4, "5550001");
    EXPECT_STREQ(m.param5, "SIP0");
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 0);
    EXPECT_EQ(FritzBoxMonitor.charCnt, 0);
}

TEST_F(ParserTest, ALineCutAnywhereReadsAsTheWholeLine)
{
    const std::string line = ring(1, "0301234567", "5550001");
    feed(line);
    ASSERT_EQ(shown().size(), 1u);
    const Shown whole = shown()[0];
    for (size_t cut = 1; cut < line.size(); ++cut) {
        shown().clear();
        feed(line.substr(0, cut));
        EXPECT_TRUE(shown().empty()) << "shown before the newline, cut at " << cut;
        feed(line.substr(cut));
        ASSERT_EQ(shown().size(), 1u) << "cut at " << cut;
        EXPECT_EQ(describe(shown()[0].monitor), describe(whole.monitor)) << "cut at " << cut;
        EXPECT_EQ(describe(shown()[0].message), describe(whole.message)) << "cut at " << cut;
    }
}

TEST_F(ParserTest, CarriageReturnsAreIgnoredAnywhere)
{
    feed("x;R\rING;\r0\r;0301\r234;555\r0001;\r\n");
    feed("x;RING;0;0301234;5550001;\n");
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[0].monitor.command, EVENT_RING);
    EXPECT_EQ(describe(shown()[0].monitor), describe(shown()[1].monitor));
    EXPECT_STREQ(shown()[0].monitor.param3, "0301234");
}

TEST_F(ParserTest, FieldsAreCutAt32Characters)
{
    const std::string forty = "0123456789012345678901234567890123456789";
    feed("x;RING;0;" + forty + ";" + forty + ";" + forty + ";" + forty + ";\n");
    ASSERT_EQ(shown().size(), 1u);
    const MonitorState &m = shown()[0].monitor;
    EXPECT_STREQ(m.param3, forty.substr(0, 32).c_str());
    EXPECT_STREQ(m.param5, forty.substr(0, 32).c_str());
    EXPECT_STREQ(m.param6, forty.substr(0, 32).c_str());
    EXPECT_STREQ(m.param4, forty.substr(0, 32).c_str());

    // A long event word is cut too, and then matches nothing.
    feed("x;RINGRINGRINGRINGRINGRINGRINGRINGRINGRING;0;");
    EXPECT_EQ(FritzBoxMonitor.command, EVENT_UNKNOWN);
    EXPECT_STREQ(FritzBoxMonitor.token, "0"); // the id, written over the cut word
}

TEST_F(ParserTest, FieldZeroOfAnyLengthTouchesNothing)
{
    feed(ring(0, "0301234", "5550001"));
    const MonitorState before = FritzBoxMonitor;
    feed(std::string(1000, 'T'));
    EXPECT_EQ(FritzBoxMonitor.charCnt, 0);
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 0);
    EXPECT_EQ(describe(FritzBoxMonitor), describe(before));
}

TEST_F(ParserTest, FieldsAfterTheSixthChangeOnlyTheFieldCount)
{
    feed("x;RING;0;0301234;5550001;SIP0;six;seven;eight;nine;");
    const MonitorState open = FritzBoxMonitor;
    EXPECT_EQ(open.fieldIndex, 10);
    EXPECT_STREQ(open.param6, "six");
    feed("ten and more");
    EXPECT_EQ(FritzBoxMonitor.charCnt, 0);
    feed("\n");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_STREQ(shown()[0].monitor.param3, "0301234");
    EXPECT_STREQ(shown()[0].monitor.param4, "5550001");
    EXPECT_STREQ(shown()[0].monitor.param5, "SIP0");
    EXPECT_STREQ(shown()[0].monitor.param6, "six");
}

TEST_F(ParserTest, AFieldOpenAtTheNewlineKeepsTheTailOfItsOldContent)
{
    feed(ring(0, "0301234", "5550001") + disconnect(0, "120"));
    feed("x;DISCONNECT;0;5\n");
    ASSERT_EQ(shown().size(), 3u);
    EXPECT_EQ(shown()[1].message.duration, 120);
    EXPECT_EQ(shown()[2].message.duration, 520);
    EXPECT_STREQ(shown()[2].monitor.param3, "520");
    // The newline starts the next line afresh all the same.
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 0);
    EXPECT_EQ(FritzBoxMonitor.charCnt, 0);
}

TEST_F(ParserTest, BytesAfterANulInAChunkAreDropped)
{
    feed("x;");
    const char chunk[] = "RI\0NG;0;0301234;5550001;\n";
    handleData(chunk, &FritzBoxMonitor);
    EXPECT_TRUE(shown().empty());
    EXPECT_EQ(FritzBoxMonitor.fieldIndex, 1);
    EXPECT_EQ(FritzBoxMonitor.charCnt, 2);
    // The line goes on with the next chunk as if the dropped bytes never came.
    feed("NG;0;0301234;5550001;\n");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].message.type, EVENT_RING);
}

TEST_F(ParserTest, AnEmptyLineHandsThePreviousLineOnAgain)
{
    feed(ring(2, "0301234", "5550001"));
    fw().clock.advance(500);
    feed("\r\n");
    feed("\n");
    ASSERT_EQ(shown().size(), 3u);
    for (const Shown &s : shown()) {
        EXPECT_EQ(s.message.type, EVENT_RING);
        EXPECT_STREQ(s.message.title, "0301234");
    }
    // Each repetition is a new ring: its start time is taken again.
    EXPECT_EQ(getLineStatus(1)->startTime, clockStart + 5);
}

TEST_F(ParserTest, TwoLinesInOneChunkAreHandledInOrder)
{
    feed(ring(0, "0301234", "5550001") + "x;CONNECT;0;4;;\n");
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[0].message.type, EVENT_RING);
    EXPECT_EQ(shown()[1].message.type, EVENT_CONNECT);
    // The second line's own fields, and the first line's where it has none.
    EXPECT_STREQ(shown()[1].monitor.param3, "4");
    EXPECT_STREQ(shown()[1].monitor.param4, "");
    EXPECT_STREQ(shown()[1].monitor.param5, "SIP0");
}

} // namespace
} // namespace events_test
