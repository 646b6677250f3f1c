// The call-list page: rows with markers, dates and looked-up names, and the
// selected call's details.
#include "book_fixture.h"

#include <cstring>

#include "events/fritzbox.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "store/callerlist.h"
#include "view/viewBook.h"

namespace test
{
namespace
{

constexpr int christmasEve1830 = 1261679400; // 24.12.2009 18:30 UTC

class CallListPage : public BookTest
{
  protected:
    void SetUp() override
    {
        BookTest::SetUp();
        loadBook({"0301111 = Owner, owner.jpg, Home", "0302222 = Anna, anna.jpg, Sister", "0303333 = Bernd"});
    }
};

TEST_F(CallListPage, TwoCallsDrawnNewestFirst)
{
    addFinishedCall(christmasEve1830, "0302222", 65, CALL_INCOMING);
    addFinishedCall(christmasEve1830 + 3600 + 59, "0309999", 0, CALL_MISSED);
    journal().clear();

    setPage(BOOK_CALLLIST);

    EXPECT_EQ(prints(), std::vector<std::string>{"Show Book\n"});
    std::vector<std::string> expected{
        "TAP_Osd_Create(0,0,720,576,0,0) = 1",
        "TAP_Hdd_ChangeDir(\"/PhotoFiles/Ringwatcher/\")",
        "TAP_ExitNormal()",
        putGd(64, 40, "_backteladrGd", 0),
        putGd(85, 85, "_symbolcalllistGd", 1),
        putGd(72, 48, "_headercalllistGd", 1),
        putS(79, 50, 192, "Anrufliste", 0, 1, 1),
        putS(200, 50, 306, "Telefonbuch", 0, 1, 1),
        // row 1, selected: the unknown number
        putS(198, 93, 364, "", 1, 1, 0),
        putGd(76, 124, "_sbselGd", 1),
        drawJpeg("unknown.jpg"),
        putGd(500, 116, "_piccoverGd", 1),
        putGd(514, 290, "_callclockadrbookGd", 1),
        putS(544, 290, 654, "00:00:00", 1, 0, 0),
        putGd(76, 126, "_lineredGd", 1),
        putS(102, 128, 228, "24.12.2009 19:30", 1, 1, 0),
        putS(236, 128, 494, "0309999", 1, 1, 0),
        // row 2
        putGd(76, 156, "_linegreenGd", 1),
        putS(102, 158, 228, "24.12.2009 18:30", 1, 1, 0),
        putS(236, 158, 494, "Anna", 1, 1, 0),
        "TAP_Osd_Sync()",
    };
    EXPECT_EQ(lastDrawing(), expected);
    EXPECT_EQ(getBookWindowStatus(), BOOK_CALLLIST);
}

TEST_F(CallListPage, SelectedKnownCallShowsInfoPictureAndDuration)
{
    addFinishedCall(christmasEve1830, "0302222", 65, CALL_INCOMING);
    addFinishedCall(christmasEve1830 + 60, "0303333", 3725, CALL_OUTGOING);
    setPage(BOOK_CALLLIST);

    auto first = lastDrawing();
    EXPECT_EQ(textAt(first, 544, 290), "01:02:05");
    EXPECT_EQ(textAt(first, 198, 93), "");
    EXPECT_TRUE(has(first, drawJpeg("unknown.jpg"))); // Bernd's line names no picture

    bookCursorDown();
    auto second = lastDrawing();
    EXPECT_EQ(textAt(second, 544, 290), "00:01:05");
    EXPECT_EQ(textAt(second, 198, 93), "Sister");
    EXPECT_TRUE(has(second, drawJpeg("anna.jpg")));
    EXPECT_TRUE(has(second, putGd(76, 154, "_sbselGd", 1)));
    EXPECT_EQ(countPrefix(second, "TAP_Osd_PutGd(1,76,124,"), 0u);
    EXPECT_EQ(countPrefix(second, "TAP_Osd_PutGd(1,514,290,"), 1u);
}

TEST_F(CallListPage, UnlistedFirstFileEntryStillNamesItsCalls)
{
    addFinishedCall(christmasEve1830, "0301111", 5, CALL_OUTGOING);
    setPage(BOOK_CALLLIST);

    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), std::vector<std::string>{"Owner"});
    EXPECT_EQ(textAt(drawing, 198, 93), "Home");
    EXPECT_TRUE(has(drawing, drawJpeg("owner.jpg")));
}

TEST_F(CallListPage, EmptyNumberShowsEmptyName)
{
    addFinishedCall(christmasEve1830, "", 0, CALL_MISSED);
    setPage(BOOK_CALLLIST);

    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), std::vector<std::string>{""});
    EXPECT_TRUE(has(drawing, drawJpeg("unknown.jpg")));
}

TEST_F(CallListPage, EmptyNumberFindsAnEntryWithoutNumber)
{
    unloadAddressBook();
    loadBook({"0301111 = Owner", "= Withheld, hidden.jpg, no number"});
    addFinishedCall(christmasEve1830, "", 0, CALL_MISSED);
    setPage(BOOK_CALLLIST);

    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), std::vector<std::string>{"Withheld"});
    EXPECT_EQ(textAt(drawing, 198, 93), "no number");
    EXPECT_TRUE(has(drawing, drawJpeg("hidden.jpg")));
}

TEST_F(CallListPage, MarkersFollowTheCallState)
{
    addFinishedCall(christmasEve1830, "0701", 0, CALL_NONE);
    addFinishedCall(christmasEve1830, "0702", 10, CALL_INCOMING);
    addFinishedCall(christmasEve1830, "0703", 0, CALL_MISSED);
    addFinishedCall(christmasEve1830, "0704", 10, CALL_OUTGOING);
    setPage(BOOK_CALLLIST);

    // Rows from the top: outgoing, missed, incoming, state 0 without marker.
    std::vector<std::string> markers;
    for (const auto &line : lastDrawing())
        if (line.rfind("TAP_Osd_PutGd(1,76,", 0) == 0 && line.find("_sbselGd") == std::string::npos)
            markers.push_back(line);
    EXPECT_EQ(markers, (std::vector<std::string>{putGd(76, 126, "_lineblueGd", 1), putGd(76, 156, "_lineredGd", 1),
                                                 putGd(76, 186, "_linegreenGd", 1)}));
    EXPECT_EQ(column(lastDrawing(), 236), (std::vector<std::string>{"0704", "0703", "0702", "0701"}));
}

TEST_F(CallListPage, DatesUseTheReceiversLocalTime)
{
    sim::pinTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    addFinishedCall(christmasEve1830, "0701", 1, CALL_INCOMING);
    addFinishedCall(1246404600, "0702", 1, CALL_INCOMING); // 30.06.2009 23:30 UTC
    setPage(BOOK_CALLLIST);

    EXPECT_EQ(column(lastDrawing(), 102), (std::vector<std::string>{"01.07.2009 01:30", "24.12.2009 19:30"}));
}

TEST_F(CallListPage, MoreThanTwelveCallsFillTwelveRows)
{
    addNumberedCalls(14);
    setPage(BOOK_CALLLIST);

    auto drawing = lastDrawing();
    std::vector<std::string> names;
    for (int i = 14; i >= 3; --i)
        names.push_back(numbered("070", i));
    EXPECT_EQ(column(drawing, 236), names);
    EXPECT_EQ(textAt(drawing, 236, 458), "0703");
    EXPECT_EQ(column(drawing, 102).size(), 12u);
}

TEST_F(CallListPage, SelectedRowBeyondTheRowsSelectsNothing)
{
    addNumberedCalls(8);
    setPage(BOOK_CALLLIST);
    for (int i = 0; i < 6; ++i)
        bookCursorDown();
    ASSERT_TRUE(has(lastDrawing(), putGd(76, 304, "_sbselGd", 1))); // row 7

    // The list shrinks under the open window (only a restart does that); the
    // selected row stays 7 while five calls are left.
    unloadCallerList();
    addNumberedCalls(5, 20);
    bookCursorDown();

    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236).size(), 5u);
    EXPECT_FALSE(has(drawing, putGd(76, 304, "_sbselGd", 1)));
    EXPECT_EQ(countPrefix(drawing, "TAP_Osd_PutGd(1,76,"), 5u); // the five markers only
    EXPECT_EQ(countPrefix(drawing, "TAP_Osd_PutGd(1,500,116,"), 0u);
    EXPECT_EQ(countPrefix(drawing, "TAP_Osd_PutGd(1,514,290,"), 0u);
    EXPECT_EQ(countPrefix(drawing, "TAP_Osd_DrawJpeg("), 0u);
    EXPECT_EQ(textAt(drawing, 544, 290), "<none>");
    EXPECT_EQ(textAt(drawing, 198, 93), "<none>");
}

// The bar looks the router's number up with the area code in front and the
// caller list keeps it so; the call list must find the same entry.
using AreaCodeLookup = BookTest;

TEST_F(AreaCodeLookup, BarAndCallListShowTheSameEntryOnEveryDrawing)
{
    writeSettings("AreaCode = 30\n");
    writeAddressBook("0300 = Owner\n305678 = Bob, bob.jpg, Nachbar\n");
    startProgram();
    const std::string bobsPicture = "\"/PhotoFiles/Ringwatcher/bob.jpg\",0)";

    for (const char *line :
         {"08.12.26 18:30:00;RING;0;5678;5550001;SIP0;\r\n", "08.12.26 18:30:05;CONNECT;0;4;5678;\r\n"}) {
        journal().clear();
        handleData(line, &FritzBoxMonitor);
        std::vector<std::string> bar = journal().calls();
        EXPECT_TRUE(has(bar, putS(156, 72, 516, "Bob", 1, 1, 0, statusWindow))) << line;
        EXPECT_EQ(countPrefix(bar, "TAP_Osd_DrawJpeg(" + std::to_string(statusWindow) + ",39,67,68,62," + bobsPicture),
                  1u)
            << line;
    }
    handleData("08.12.26 18:31:00;DISCONNECT;0;55;\r\n", &FritzBoxMonitor);
    removeStatusWindow();

    setPage(BOOK_CALLLIST);
    for (int drawing = 0; drawing < 3; ++drawing) {
        auto shown = lastDrawing();
        EXPECT_EQ(column(shown, 236), std::vector<std::string>{"Bob"}) << "drawing " << drawing;
        EXPECT_EQ(textAt(shown, 198, 93), "Nachbar") << "drawing " << drawing;
        EXPECT_TRUE(has(shown, drawJpeg("bob.jpg"))) << "drawing " << drawing;
        bookCursorDown();
    }
    ASSERT_NE(getCallerList(), nullptr);
    EXPECT_STREQ(getCallerList()->number, "305678");
}

} // namespace
} // namespace test
