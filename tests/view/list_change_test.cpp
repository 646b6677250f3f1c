// Calls that end while the book is open: the window keeps its place, and
// the next key reaches no entry the caller list has freed.
#include "book_fixture.h"

#include <algorithm>
#include <string>

#include "events/fritzbox.h"
#include "store/addressbook.h"
#include "store/callerlist.h"
#include "view/viewBook.h"

namespace test
{
namespace
{

using ListChange = BookTest;

std::vector<std::string> callNumbers(int from, int downTo)
{
    std::vector<std::string> out;
    for (int i = from; i >= downTo; --i)
        out.push_back(numbered("070", i));
    return out;
}

// The router's lines of one finished outgoing call on line 0.
void endCallThroughTheRouter(int i)
{
    std::string lines = "08.12.26 18:30:00;CALL;0;4;5550001;" + numbered("070", i) +
                        ";SIP1;\r\n08.12.26 18:31:00;DISCONNECT;0;" + std::to_string(i) + ";\r\n";
    handleData(lines.c_str(), &FritzBoxMonitor);
}

// What a drawing shows: calls `newest` down to `oldest` with `row` selected.
void expectWindow(const std::vector<std::string> &drawing, int newest, int oldest, int row, const std::string &after)
{
    EXPECT_EQ(column(drawing, 236), callNumbers(newest, oldest)) << after;
    EXPECT_TRUE(has(drawing, putGd(76, 124 + 30 * (row - 1), "_sbselGd", 1))) << after << ": row " << row;
}

TEST_F(ListChange, FinishedCallsMoveTheWindowOnlyOffDroppedEntries)
{
    for (int i = 1; i <= 14; ++i)
        endCallThroughTheRouter(i);
    setPage(BOOK_CALLLIST);
    bookPageDown();
    bookCursorDown();
    bookCursorDown();
    expectWindow(lastDrawing(), 12, 1, 3, "second page");

    // The window shows the oldest twelve calls from `shownOldest` on; after
    // each event every navigation key is pressed, ending on the last page.
    int newest = 14;
    int shownOldest = 1;
    auto pressEveryKey = [&](const std::string &after) {
        int oldest = std::max(1, newest - CALLERLIST_MAX + 1);
        int first = shownOldest + 11; // row 1 keeps its call; a dropped row 12 moves up to the oldest left
        bookCursorUp();
        expectWindow(lastDrawing(), first, oldest, 2, after + ", cursor up");
        bookCursorDown();
        expectWindow(lastDrawing(), first, oldest, 3, after + ", cursor down");
        bookPageUp();
        int top = std::min(newest, first + 12);
        expectWindow(lastDrawing(), top, std::max(oldest, top - 11), 3, after + ", page up");
        bookPageDown();
        expectWindow(lastDrawing(), oldest + 11, oldest, 3, after + ", page down");
        shownOldest = oldest;
    };

    fw().heap.failAllocation(fw().heap.allocationCount() + 1);
    endCallThroughTheRouter(99);
    ASSERT_EQ(getCallEntries(), 14) << "the call was recorded after all";
    pressEveryKey("a call that could not be recorded");

    endCallThroughTheRouter(++newest);
    pressEveryKey("call 15");

    for (int n = 0; n < 37; ++n) {
        endCallThroughTheRouter(++newest);
        pressEveryKey("call " + std::to_string(newest));
    }
    EXPECT_EQ(newest, 52);
    hideBook();
}

TEST_F(ListChange, DroppedLastRowIsNotFollowedByPageDown)
{
    addNumberedCalls(36);
    setPage(BOOK_CALLLIST);
    bookPageDown();
    bookPageDown();
    ASSERT_EQ(column(lastDrawing(), 236), callNumbers(12, 1)); // call 1 on row 12

    addNumberedCalls(1, 37); // frees call 1
    ASSERT_EQ(getCallEntries(), 36);

    bookPageDown(); // call 2 is the last row now, and the end of the list
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(12, 2));
    unloadCallerList();
    hideBook();
    EXPECT_EQ(leaks(), std::vector<std::string>{});
}

TEST_F(ListChange, DroppedLastRowIsNotFollowedByCursorDownOnRowTwelve)
{
    addNumberedCalls(36);
    setPage(BOOK_CALLLIST);
    bookPageDown();
    bookPageDown();
    for (int i = 0; i < 11; ++i)
        bookCursorDown();
    addNumberedCalls(1, 37);

    bookCursorDown(); // row 12 stays selected and shows no call now
    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), callNumbers(12, 2));
    EXPECT_EQ(textAt(drawing, 544, 290), "<none>");
}

TEST_F(ListChange, DroppedFirstRowIsNotFollowedByCursorUp)
{
    addNumberedCalls(36);
    setPage(BOOK_CALLLIST);
    bookPageDown();
    bookPageDown(); // calls 12 .. 1
    for (int i = 0; i < 3; ++i)
        bookCursorDown(); // row 4

    addNumberedCalls(12, 37); // frees calls 1 .. 12: every row shown, row 1 last

    bookCursorUp();
    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), callNumbers(48, 37));
    EXPECT_TRUE(has(drawing, putGd(76, 184, "_sbselGd", 1))); // row 3 selected
    EXPECT_EQ(textAt(drawing, 544, 290), "00:00:46");

    bookPageUp();
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(48, 37));
}

TEST_F(ListChange, NewCallWithoutDropIsAboveTheFirstRow)
{
    addNumberedCalls(5);
    setPage(BOOK_CALLLIST);
    bookCursorDown();
    bookCursorDown(); // row 3
    size_t drawings = drawingCount();

    addNumberedCalls(1, 6);
    EXPECT_EQ(drawingCount(), drawings); // the window is not redrawn by the call

    bookCursorDown();
    expectWindow(lastDrawing(), 5, 1, 4, "cursor down");
    bookPageUp();
    expectWindow(lastDrawing(), 6, 1, 4, "page up");
}

TEST_F(ListChange, ListOpenedEmptyStaysAsDrawnUntilItIsOpenedAgain)
{
    setPage(BOOK_CALLLIST);
    size_t drawings = drawingCount();
    for (int i = 1; i <= 2; ++i)
        endCallThroughTheRouter(i);
    ASSERT_EQ(getCallEntries(), 2);

    for (void (*key)() : {bookCursorDown, bookCursorUp, bookPageDown, bookPageUp})
        key();
    EXPECT_EQ(drawingCount(), drawings);
    EXPECT_EQ(column(lastDrawing(), 236), std::vector<std::string>{});

    setPage(BOOK_CALLLIST);
    expectWindow(lastDrawing(), 2, 1, 1, "opened again");
    bookCursorDown();
    expectWindow(lastDrawing(), 2, 1, 2, "cursor down after opening again");
}

TEST_F(ListChange, PhoneBookKeepsItsPlaceWhileCallsArrive)
{
    loadNumberedBook(15);
    addNumberedCalls(36);
    setPage(BOOK_PHONEBOOK);
    bookPageDown();
    addNumberedCalls(3, 37);

    bookCursorDown();
    auto drawing = lastDrawing();
    EXPECT_EQ(textAt(drawing, 236, 128), "Name 4");
    EXPECT_EQ(textAt(drawing, 159, 93), "5.");
}

TEST_F(ListChange, CallsWhileHiddenDoNotDisturbTheNextOpening)
{
    addNumberedCalls(36);
    setPage(BOOK_CALLLIST);
    bookPageDown();
    bookPageDown();
    hideBook();
    addNumberedCalls(12, 37);

    setPage(BOOK_CALLLIST);
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(48, 37));
    bookPageDown();
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(36, 25));
}

} // namespace
} // namespace test
