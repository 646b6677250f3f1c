// Moving through the pages: page and cursor steps, their limits, and
// closing the window.
#include "book_fixture.h"

#include "store/addressbook.h"
#include "store/callerlist.h"
#include "view/viewBook.h"

namespace test
{
namespace
{

using Navigation = BookTest;

std::vector<std::string> names(int from, int to)
{
    std::vector<std::string> out;
    for (int i = from; from <= to ? i <= to : i >= to; from <= to ? ++i : --i)
        out.push_back(numbered("Name ", i));
    return out;
}

std::vector<std::string> callNumbers(int from, int downTo)
{
    std::vector<std::string> out;
    for (int i = from; i >= downTo; --i)
        out.push_back(numbered("070", i));
    return out;
}

int selectedRowY(const std::vector<std::string> &drawing)
{
    int found = -1;
    for (const auto &line : drawing)
        if (line.rfind("TAP_Osd_PutGd(1,76,", 0) == 0 && line.find(",_sbselGd,") != std::string::npos) {
            EXPECT_EQ(found, -1) << "two selection bars";
            found = std::stoi(line.substr(19));
        }
    return found;
}

TEST_F(Navigation, PageDownStopsWithTheLastEntryOnRowTwelveAndPageUpReturns)
{
    loadNumberedBook(15);
    setPage(BOOK_PHONEBOOK);
    bookCursorDown();
    bookCursorDown(); // row 3
    EXPECT_EQ(column(lastDrawing(), 236), names(1, 12));
    EXPECT_EQ(textAt(lastDrawing(), 159, 93), "3.");

    bookPageDown();
    auto down = lastDrawing();
    EXPECT_EQ(column(down, 236), names(4, 15));
    EXPECT_EQ(selectedRowY(down), 184);
    EXPECT_EQ(textAt(down, 159, 93), "6.");
    EXPECT_EQ(textAt(down, 389, 93), "6/15");
    EXPECT_EQ(textAt(down, 198, 93), "Info 6");

    bookPageDown(); // at the end: same page again
    EXPECT_EQ(lastDrawing(), down);

    bookPageUp();
    auto up = lastDrawing();
    EXPECT_EQ(column(up, 236), names(1, 12));
    EXPECT_EQ(selectedRowY(up), 184);
    EXPECT_EQ(textAt(up, 159, 93), "3.");

    bookPageUp(); // the file's first entry is never reached
    EXPECT_EQ(lastDrawing(), up);
}

TEST_F(Navigation, CursorDownOnRowTwelveScrollsOneEntry)
{
    loadNumberedBook(15);
    setPage(BOOK_PHONEBOOK);
    for (int i = 0; i < 11; ++i)
        bookCursorDown();
    ASSERT_EQ(selectedRowY(lastDrawing()), 124 + 330);

    bookCursorDown();
    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), names(2, 13));
    EXPECT_EQ(selectedRowY(drawing), 454);
    EXPECT_EQ(textAt(drawing, 159, 93), "13.");
    EXPECT_EQ(textAt(drawing, 389, 93), "13/15");

    bookCursorDown();
    bookCursorDown();
    auto end = lastDrawing();
    EXPECT_EQ(column(end, 236), names(4, 15));
    bookCursorDown(); // nothing after entry 15
    EXPECT_EQ(lastDrawing(), end);
}

TEST_F(Navigation, CursorUpOnRowOneScrollsBackButNotPastTheFirstListedEntry)
{
    loadNumberedBook(15);
    setPage(BOOK_PHONEBOOK);
    auto opening = lastDrawing();
    ASSERT_EQ(opening.front(), "TAP_Osd_Create(0,0,720,576,0,0) = 1");
    size_t drawings = drawingCount();

    bookCursorUp();
    EXPECT_EQ(drawingCount(), drawings + 1);
    auto top = lastDrawing();
    EXPECT_EQ(top, std::vector<std::string>(opening.begin() + 1, opening.end()));

    for (int i = 0; i < 13; ++i)
        bookCursorDown(); // first row now entry 3, row 12 selected
    for (int i = 0; i < 11; ++i)
        bookCursorUp();
    EXPECT_EQ(column(lastDrawing(), 236), names(3, 14));
    EXPECT_EQ(selectedRowY(lastDrawing()), 124);

    bookCursorUp();
    EXPECT_EQ(column(lastDrawing(), 236), names(2, 13));
    EXPECT_EQ(textAt(lastDrawing(), 159, 93), "2.");
    bookCursorUp();
    bookCursorUp();
    EXPECT_EQ(lastDrawing(), top);
}

TEST_F(Navigation, CursorStopsOnTheLastOfFiveCalls)
{
    addNumberedCalls(5);
    setPage(BOOK_CALLLIST);
    for (int i = 0; i < 4; ++i)
        bookCursorDown();
    auto last = lastDrawing();
    EXPECT_EQ(selectedRowY(last), 244);
    EXPECT_EQ(textAt(last, 544, 290), "00:00:01"); // call 1 lasted one second

    bookCursorDown();
    EXPECT_EQ(lastDrawing(), last);
    bookPageDown();
    EXPECT_EQ(lastDrawing(), last);
    bookPageUp();
    EXPECT_EQ(lastDrawing(), last);
}

TEST_F(Navigation, CallListPagesWalkTowardsOlderCalls)
{
    addNumberedCalls(30);
    setPage(BOOK_CALLLIST);
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(30, 19));
    bookPageDown();
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(18, 7));
    bookPageDown();
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(12, 1));
    bookPageUp();
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(24, 13));
    bookCursorUp();
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(25, 14));
}

TEST_F(Navigation, NavigationOnAnEmptyCallListDrawsNothing)
{
    loadNumberedBook(3);
    setPage(BOOK_CALLLIST);
    size_t drawings = drawingCount();
    bookCursorDown();
    bookCursorUp();
    bookPageDown();
    bookPageUp();
    EXPECT_EQ(drawingCount(), drawings);
    EXPECT_EQ(column(lastDrawing(), 236), std::vector<std::string>{});
}

TEST_F(Navigation, SwitchingPagesStartsAtTheTopWithRowOneSelected)
{
    loadNumberedBook(15);
    addNumberedCalls(15);
    setPage(BOOK_CALLLIST);
    bookPageDown();
    bookCursorDown();
    setPage(BOOK_PHONEBOOK);
    EXPECT_EQ(column(lastDrawing(), 236), names(1, 12));
    EXPECT_EQ(selectedRowY(lastDrawing()), 124);
    bookPageDown();
    bookCursorDown();
    setPage(BOOK_CALLLIST);
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(15, 4));
    EXPECT_EQ(selectedRowY(lastDrawing()), 124);
}

TEST_F(Navigation, HideBookDeletesTheRegionAndReturnsToNormalViewing)
{
    loadNumberedBook(3);
    setPage(BOOK_PHONEBOOK);
    journal().clear();

    hideBook();
    EXPECT_EQ(journal().calls(),
              (std::vector<std::string>{"TAP_Osd_Delete(1)", "TAP_Osd_Sync()", "TAP_EnterNormal()"}));
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
    EXPECT_TRUE(fw().osd.regionHandles().empty());
    EXPECT_EQ(fw().receiver.enterNormalCalls, 1);

    // A second close has no window to delete.
    hideBook();
    EXPECT_EQ(journal().calls().size(), 3u);
    EXPECT_EQ(fw().receiver.enterNormalCalls, 1);

    // Opening again makes a new region.
    setPage(BOOK_CALLLIST);
    EXPECT_EQ(lastDrawing().front(), "TAP_Osd_Create(0,0,720,576,0,0) = 1");
    hideBook();
    unloadAddressBook();
    EXPECT_EQ(leaks(), std::vector<std::string>{});
}

TEST_F(Navigation, HideBookWithoutWindowDoesNothing)
{
    hideBook();
    EXPECT_TRUE(journal().calls().empty());
    EXPECT_EQ(fw().receiver.enterNormalCalls, 0);
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
}

} // namespace
} // namespace test
