// The line handler: what each router line does to its line slot, what the
// status window is given and what reaches the caller list.
#include <string>

#include "event_test.h"

namespace events_test
{
namespace
{

const char *const book = "# numbers as the router sends them\n"
                         "0301234567 = Anna M\374ller, anna.jpg, Schwester\n"
                         "5550001 = B\374ro\n"
                         "0309876543 = Bernd, , Kollege\n";

class LinesTest : public EventTest
{
  protected:
    const LineState &slot(int index) { return *getLineStatus(index); }
    const FBMessage &last()
    {
        EXPECT_FALSE(shown().empty());
        return shown().back().message;
    }
};

// Every field of what the status window receives, in one comparable line.
std::string message(int type, int line, int duration, const std::string &text, const std::string &title,
                    const std::string &picture, const std::string &info)
{
    FBMessage m{};
    m.type = type;
    m.line = line;
    m.duration = duration;
    text.copy(m.text, sizeof m.text - 1);
    title.copy(m.title, sizeof m.title - 1);
    picture.copy(m.picture, sizeof m.picture - 1);
    info.copy(m.info, sizeof m.info - 1);
    return describe(m);
}

TEST_F(LinesTest, RingShowsTheCallerAndTheCalledOwnNumber)
{
    loadBook(book);
    feed(ring(0, "0301234567", "5550001"));
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(describe(last()), message(EVENT_RING, 0, -1, std::string(incomingText) + "B\374ro", "Anna M\374ller",
                                        "anna.jpg", "Schwester"));
    EXPECT_EQ(slot(0).callState, CALL_INCOMING);
    EXPECT_EQ(slot(0).startTime, clockStart);
    EXPECT_STREQ(slot(0).number, "0301234567");
    EXPECT_EQ(countPrints("Year:2026\n"), 1);
    EXPECT_EQ(countPrints("TIME1:1796754600\n"), 0);
}

TEST_F(LinesTest, CallShowsTheCalledPartyAndTheOwnNumber)
{
    loadBook(book);
    fw().clock.advance(4200);
    feed(call(2, "5550001", "0309876543"));
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(describe(last()),
              message(EVENT_CALL, 2, -1, std::string(outgoingText) + "B\374ro", "Bernd", "unknown.jpg", "Kollege"));
    EXPECT_EQ(slot(1).callState, CALL_OUTGOING);
    EXPECT_EQ(slot(1).startTime, clockStart + 42);
    EXPECT_STREQ(slot(1).number, "0309876543");
    EXPECT_EQ(countPrints("Year:2026\n"), 1);
    EXPECT_EQ(countPrints("TIME1:1796754642\n"), 1);
}

TEST_F(LinesTest, NumbersWithoutEntryStandForTheirNames)
{
    feed(ring(0, "0301111111", "5550009"));
    EXPECT_EQ(describe(last()),
              message(EVENT_RING, 0, -1, std::string(incomingText) + "5550009", "0301111111", "unknown.jpg", ""));
    feed(call(1, "", "0302222222"));
    EXPECT_EQ(describe(last()), message(EVENT_CALL, 1, -1, outgoingText, "0302222222", "unknown.jpg", ""));
}

TEST_F(LinesTest, AnsweredIncomingCallIsListedWithItsRingTimeAndDuration)
{
    loadBook(book);
    feed(ring(0, "0301234567", "5550001"));
    fw().clock.advance(1000);
    feed(connect(0, "0301234567"));
    EXPECT_EQ(describe(last()),
              message(EVENT_CONNECT, 0, -1, "Verbindung auf Leitung 0", "Anna M\374ller", "anna.jpg", "Schwester"));
    fw().clock.advance(6500);
    feed(disconnect(0, "65"));
    ASSERT_EQ(shown().size(), 3u);
    // The title goes blank; picture and info stay from the message before.
    EXPECT_EQ(describe(last()),
              message(EVENT_DISCONNECT, 0, 65, "Verbindung auf Leitung 0 beendet", " ", "anna.jpg", "Schwester"));
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart, 65, CALL_INCOMING, "0301234567"}}));
    EXPECT_EQ(slot(0).callState, CALL_INCOMING);
}

TEST_F(LinesTest, IncomingCallEndingAfterZeroSecondsIsMissed)
{
    feed(ring(4, "0301234567", "5550001") + disconnect(4, "0"));
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(describe(last()),
              message(EVENT_DISCONNECT, 4, 0, "Verbindung auf Leitung 4 beendet", " ", "unknown.jpg", ""));
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart, 0, CALL_MISSED, "0301234567"}}));
    EXPECT_EQ(slot(2).callState, CALL_MISSED);
}

TEST_F(LinesTest, UnansweredOutgoingCallIsNotMissed)
{
    feed(call(0, "5550001", "0309876543") + disconnect(0, "0"));
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart, 0, CALL_OUTGOING, "0309876543"}}));
    EXPECT_EQ(slot(0).callState, CALL_OUTGOING);
}

TEST_F(LinesTest, EveryDisconnectOfATrackedSlotAddsAnEntry)
{
    feed(ring(0, "0301234567", "5550001") + disconnect(0, "0") + disconnect(0, "7"));
    ASSERT_EQ(shown().size(), 3u);
    // The slot stays missed, so the second entry is missed too, whatever its duration.
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart, 7, CALL_MISSED, "0301234567"},
                                               {clockStart, 0, CALL_MISSED, "0301234567"}}));
}

TEST_F(LinesTest, LinesOnAnIdleSlotShowAndAddNothing)
{
    feed(connect(0, "0301234567") + disconnect(0, "0") + disconnect(1, "65") + routerLine("HOLD;0;"));
    EXPECT_TRUE(shown().empty());
    EXPECT_TRUE(callerList().empty());
    EXPECT_EQ(slot(0).callState, CALL_NONE);
}

TEST_F(LinesTest, UnknownWordOnATrackedSlotShowsTheLastMessageAgainAsTypeMinusOne)
{
    loadBook(book);
    feed(ring(0, "0301234567", "5550001") + routerLine("HOLD;1;"));
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(describe(last()), message(EVENT_UNKNOWN, 1, -1, std::string(incomingText) + "B\374ro", "Anna M\374ller",
                                        "anna.jpg", "Schwester"));
    EXPECT_EQ(slot(0).callState, CALL_INCOMING);
    EXPECT_TRUE(callerList().empty());
}

TEST_F(LinesTest, ANewRingOrCallOverwritesWhateverTheSlotHeld)
{
    feed(call(0, "5550001", "0309876543"));
    fw().clock.advance(300);
    // Ids 0 and 1 share slot 0.
    feed(ring(1, "0301234567", "5550001"));
    EXPECT_EQ(slot(0).callState, CALL_INCOMING);
    EXPECT_STREQ(slot(0).number, "0301234567");
    EXPECT_EQ(slot(0).startTime, clockStart + 3);
    feed(disconnect(0, "12"));
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart + 3, 12, CALL_INCOMING, "0301234567"}}));
    feed(call(1, "5550001", "0302222222"));
    EXPECT_EQ(slot(0).callState, CALL_OUTGOING);
    EXPECT_STREQ(slot(0).number, "0302222222");
}

TEST_F(LinesTest, LineNumbersFollowTheNumberingMode)
{
    auto linesShown = [&] {
        shown().clear();
        for (int id = 0; id < 8; ++id)
            feed(call(id, "5550001", "0309876543"));
        std::vector<int> lines;
        for (const Shown &s : shown())
            lines.push_back(s.message.line);
        return lines;
    };
    EXPECT_EQ(linesShown(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    setNumberingType(0);
    EXPECT_EQ(linesShown(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));
    setNumberingType(1);
    EXPECT_EQ(linesShown(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    setNumberingType(2); // anything but 1 counts pairs
    EXPECT_EQ(linesShown(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));
    setNumberingType(-1);
    EXPECT_EQ(linesShown(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));
}

TEST_F(LinesTest, TheLineNumberOfTheTextsFollowsTheNumberingMode)
{
    setNumberingType(0);
    feed(ring(7, "0301234567", "5550001") + connect(7, "0301234567"));
    EXPECT_STREQ(last().text, "Verbindung auf Leitung 4");
    feed(disconnect(6, "3"));
    EXPECT_STREQ(last().text, "Verbindung auf Leitung 4 beendet");
    EXPECT_EQ(last().line, 4);
}

TEST(ShowInfo, TestsContainmentInTheMsnList)
{
    EXPECT_EQ(showInfo("5550001"), 1); // empty list: everything passes
    setMSNs("5550001, 5550002");
    EXPECT_EQ(showInfo("5550001"), 1);
    EXPECT_EQ(showInfo("5550002"), 1);
    EXPECT_EQ(showInfo("5550003"), 0);
    EXPECT_EQ(showInfo("55500"), 1); // part of a listed number
    EXPECT_EQ(showInfo(""), 1);
    EXPECT_EQ(showInfo("5550001, 5550002, 5550003"), 0);
    setMSNs("");
    EXPECT_EQ(showInfo("anything"), 1);
}

TEST(ShowInfo, KeepsAtMost131CharactersOfTheList)
{
    std::string list(131, '1');
    setMSNs((list + "5550001").c_str());
    EXPECT_EQ(showInfo("5550001"), 0);
    EXPECT_EQ(showInfo(list.c_str()), 1);
}

TEST_F(LinesTest, CallsOfOwnNumbersOutsideTheMsnListShowAndAddNothing)
{
    setMSNs("5550001;5550002");
    feed(ring(0, "0301234567", "5550003") + connect(0, "0301234567") + disconnect(0, "65"));
    feed(call(2, "5550003", "0309876543") + connect(2, "0309876543") + disconnect(2, "0"));
    EXPECT_TRUE(shown().empty());
    EXPECT_TRUE(callerList().empty());
    EXPECT_EQ(countPrints("Year:2026\n"), 0);

    feed(ring(0, "0301234567", "5550002") + disconnect(0, "0"));
    EXPECT_EQ(shown().size(), 2u);
    EXPECT_EQ(callerList().size(), 1u);
}

TEST_F(LinesTest, AFilteredRingOrCallStopsTrackingTheSlot)
{
    setMSNs("5550001");
    feed(ring(0, "0301234567", "5550001"));
    feed(ring(0, "0302222222", "5559999"));
    EXPECT_EQ(slot(0).callState, CALL_NONE);
    feed(call(2, "5550001", "0309876543"));
    feed(call(3, "5559999", "0309876543"));
    EXPECT_EQ(slot(1).callState, CALL_NONE);
    feed(disconnect(0, "0") + disconnect(2, "0"));
    EXPECT_EQ(shown().size(), 2u);
    EXPECT_TRUE(callerList().empty());
}

TEST_F(LinesTest, LocalNumbersAreLookedUpAndKeptWithTheAreaCode)
{
    loadBook(book);
    setAreaCode("030");
    setMSNs("5550001");
    // The filter sees the own number as sent; the text shows it prefixed.
    feed(ring(0, "1234567", "5550001"));
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(describe(last()), message(EVENT_RING, 0, -1, std::string(incomingText) + "0305550001", "Anna M\374ller",
                                        "anna.jpg", "Schwester"));
    EXPECT_STREQ(slot(0).number, "0301234567");
    feed(call(2, "5550001", "7654321") + disconnect(2, "9") + disconnect(0, "0"));
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart, 0, CALL_MISSED, "0301234567"},
                                               {clockStart, 9, CALL_OUTGOING, "0307654321"}}));
}

TEST_F(LinesTest, NumbersAreCutTo31CharactersInTheSlotAndTheCallerList)
{
    const std::string longest(32, '9'); // as long as the router's field may be
    setAreaCode("030");
    feed(ring(0, longest, "5550001"));
    EXPECT_EQ(last().title, longest); // too long for the prefix: looked up as sent
    EXPECT_EQ(std::string(slot(0).number), longest.substr(0, 31));

    const std::string fits(28, '8'); // with the area code exactly 31
    feed(call(2, "5550001", fits));
    EXPECT_EQ(std::string(slot(1).number), "030" + fits);

    const std::string tooLong(29, '7'); // with the area code 32: kept unprefixed
    feed(ring(4, tooLong, "5550001"));
    EXPECT_EQ(std::string(slot(2).number), tooLong);

    feed(disconnect(0, "1") + disconnect(2, "2") + disconnect(4, "3"));
    EXPECT_EQ(callerList(), (std::vector<Call>{{clockStart, 3, CALL_INCOMING, tooLong},
                                               {clockStart, 2, CALL_OUTGOING, "030" + fits},
                                               {clockStart, 1, CALL_INCOMING, longest.substr(0, 31)}}));
}

TEST_F(LinesTest, LinesWithConnectionIdsOutsideTheTableAreIgnored)
{
    feed(ring(0, "0301234567", "5550001"));
    ASSERT_EQ(shown().size(), 1u);
    struct Case {
        const char *field;
        int read;
    };
    for (Case c : {Case{"8", 8}, Case{"-1", -1}, Case{"-2", -2}, Case{"1000", 1000}, Case{"2147483647", 2147483647},
                   Case{"99999999999", 2147483647}, Case{"-99999999999", -2147483647 - 1}}) {
        const std::string id = c.field;
        journal().clear();
        feed(routerLine("RING;" + id + ";0302222222;5550001;SIP0;") +
             routerLine("CALL;" + id + ";4;5550001;0302222222;SIP1;") + routerLine("CONNECT;" + id + ";4;0302222222;") +
             routerLine("DISCONNECT;" + id + ";0;") + routerLine("HOLD;" + id + ";"));
        EXPECT_EQ(shown().size(), 1u) << "id " << id;
        EXPECT_EQ(countPrints("Ignoring line with connection id " + std::to_string(c.read) + "\n"), 5) << "id " << id;
    }
    EXPECT_TRUE(callerList().empty());
    EXPECT_EQ(slot(0).callState, CALL_INCOMING);
    EXPECT_STREQ(slot(0).number, "0301234567");
    // The message record was not touched either: the next line of the call
    // shows what the ring left.
    feed(routerLine("HOLD;0;"));
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(describe(last()),
              message(EVENT_UNKNOWN, 0, -1, std::string(incomingText) + "5550001", "0301234567", "unknown.jpg", ""));
}

TEST(LineStatus, HasFourSlotsStartingIdle)
{
    for (int i = 0; i < LINE_SLOTS; ++i) {
        ASSERT_NE(getLineStatus(i), nullptr);
        EXPECT_EQ(getLineStatus(i)->callState, CALL_NONE);
    }
    EXPECT_EQ(getLineStatus(-1), nullptr);
    EXPECT_EQ(getLineStatus(LINE_SLOTS), nullptr);
}

} // namespace
} // namespace events_test
