// Calls that arrive while the book is open: the caller list may free the
// entries the window shows, and the next key must not reach them.
#include "book_fixture.h"

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

TEST_F(ListChange, DroppedLastRowIsNotFollowedByPageDown)
{
    addNumberedCalls(36);
    setPage(BOOK_CALLLIST);
    bookPageDown();
    bookPageDown();
    ASSERT_EQ(column(lastDrawing(), 236), callNumbers(12, 1)); // call 1 on row 12

    addNumberedCalls(1, 37); // frees call 1
    ASSERT_EQ(getCallEntries(), 36);

    bookPageDown();
    EXPECT_EQ(column(lastDrawing(), 236), callNumbers(25, 14));
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

    bookCursorDown(); // row 12 of a fresh start at the newest call, one further
    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), callNumbers(36, 25));
    EXPECT_EQ(textAt(drawing, 544, 290), "00:00:25");
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

TEST_F(ListChange, NewCallWithoutDropShowsOnRowOneAtTheNextKey)
{
    addNumberedCalls(5);
    setPage(BOOK_CALLLIST);
    bookCursorDown();
    bookCursorDown(); // row 3
    size_t drawings = drawingCount();

    addNumberedCalls(1, 6);
    EXPECT_EQ(drawingCount(), drawings); // the window is not redrawn by the call

    bookCursorDown();
    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), callNumbers(6, 1));
    EXPECT_TRUE(has(drawing, putGd(76, 214, "_sbselGd", 1))); // row 4
}

TEST_F(ListChange, FirstCallIntoAnOpenEmptyListMakesTheKeysWork)
{
    setPage(BOOK_CALLLIST);
    addNumberedCalls(2);

    bookCursorDown();
    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), callNumbers(2, 1));
    EXPECT_TRUE(has(drawing, putGd(76, 154, "_sbselGd", 1)));
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
