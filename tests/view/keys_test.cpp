// The book driven by remote-control keys through the program's event
// handler, as the receiver delivers them.
#include "book_fixture.h"

#include "shell/statusWindow.h"
#include "store/callerlist.h"
#include "view/viewBook.h"

namespace test
{
namespace
{

constexpr dword actionKeyCode = 0x10049;
constexpr dword pageSwitch = 0x1000F;
constexpr dword pageSwitch2 = 0x10015;
constexpr dword cursorUp = 0x10012;
constexpr dword dismiss = 0x10017;
constexpr dword cursorDown = 0x1001D;
constexpr dword pageUp = 0x10045;
constexpr dword pageDown = 0x10046;
constexpr dword navigationKeys[] = {pageSwitch, pageSwitch2, cursorUp, cursorDown, pageUp, pageDown};

class BookKeys : public BookTest
{
  protected:
    void start(const std::string &settings = "")
    {
        writeSettings(settings);
        writeAddressBook("0300=Owner\n0301=Anna,anna.jpg,Sister\n0302=Bernd\n0303=Clara\n");
        startProgram();
        ASSERT_EQ(statusWindow, -1) << "start-up reported a problem";
        addNumberedCalls(3);
    }
    dword press(dword key) { return receiver().key(key); }
    void viewNormally()
    {
        fw().receiver.state = 0;
        fw().receiver.subState = 0x1F;
    }
    void viewMenu()
    {
        fw().receiver.state = 1;
        fw().receiver.subState = 0;
    }
};

TEST_F(BookKeys, ActionKeyInNormalViewingOpensTheCallListAtTheNewestCall)
{
    start();
    EXPECT_EQ(press(actionKeyCode), 0u);

    EXPECT_EQ(getBookWindowStatus(), BOOK_CALLLIST);
    auto drawing = lastDrawing();
    EXPECT_EQ(column(drawing, 236), (std::vector<std::string>{"0703", "0702", "0701"}));
    EXPECT_TRUE(has(drawing, putGd(76, 124, "_sbselGd", 1)));
    EXPECT_EQ(fw().receiver.exitNormalCalls, 1);
}

TEST_F(BookKeys, ActionKeyClosesTheBookInAnyState)
{
    start();
    press(actionKeyCode);
    // Opening left normal viewing.
    EXPECT_EQ(press(actionKeyCode), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
    EXPECT_TRUE(fw().osd.regionHandles().empty());
    EXPECT_EQ(fw().receiver.enterNormalCalls, 1);

    press(actionKeyCode);
    viewNormally(); // a receiver that reports normal viewing anyway
    EXPECT_EQ(press(actionKeyCode), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
    EXPECT_EQ(fw().receiver.enterNormalCalls, 2);
}

TEST_F(BookKeys, ActionKeyOutsideNormalViewingWithBookHiddenIsPassedOn)
{
    start();
    viewMenu();
    size_t drawings = drawingCount();
    EXPECT_EQ(press(actionKeyCode), actionKeyCode);
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
    EXPECT_EQ(drawingCount(), drawings);
}

TEST_F(BookKeys, ActionKeyFromTheSettings)
{
    start("ActionKey = 65600\n");
    EXPECT_EQ(press(actionKeyCode), actionKeyCode);
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
    EXPECT_EQ(press(65600), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_CALLLIST);
}

TEST_F(BookKeys, DismissRemovesTheStatusWindowFirstThenTheBook)
{
    start();
    press(actionKeyCode);
    displayErrorMessage(MSG_ERR_CONNECTION, "Keine Verbindung");
    ASSERT_NE(statusWindow, -1);
    int status = statusWindow;
    size_t drawings = drawingCount();

    EXPECT_EQ(press(dismiss), 0u);
    EXPECT_EQ(statusWindow, -1);
    EXPECT_FALSE(fw().osd.exists(status));
    EXPECT_TRUE(fw().osd.exists(1));
    EXPECT_EQ(getBookWindowStatus(), BOOK_CALLLIST);
    EXPECT_EQ(drawingCount(), drawings);

    EXPECT_EQ(press(dismiss), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
    EXPECT_TRUE(fw().osd.regionHandles().empty());

    EXPECT_EQ(press(dismiss), dismiss);
    viewMenu();
    EXPECT_EQ(press(dismiss), dismiss);
}

TEST_F(BookKeys, NavigationKeysArePassedOnWhileTheBookIsHidden)
{
    start();
    size_t drawings = drawingCount();
    for (dword key : navigationKeys) {
        viewNormally();
        EXPECT_EQ(press(key), key);
        viewMenu();
        EXPECT_EQ(press(key), key);
    }
    EXPECT_EQ(drawingCount(), drawings);
    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
}

TEST_F(BookKeys, NavigationKeysArePassedOnInNormalViewingEvenWithTheBookOpen)
{
    start();
    press(actionKeyCode);
    viewNormally();
    size_t drawings = drawingCount();
    for (dword key : navigationKeys)
        EXPECT_EQ(press(key), key);
    EXPECT_EQ(drawingCount(), drawings);
    EXPECT_EQ(getBookWindowStatus(), BOOK_CALLLIST);
}

TEST_F(BookKeys, PageSwitchKeysToggleBetweenThePages)
{
    start();
    press(actionKeyCode);
    press(cursorDown);

    EXPECT_EQ(press(pageSwitch), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_PHONEBOOK);
    EXPECT_EQ(column(lastDrawing(), 236), (std::vector<std::string>{"Anna", "Bernd", "Clara"}));
    EXPECT_TRUE(has(lastDrawing(), putGd(76, 124, "_sbselGd", 1)));

    press(cursorDown);
    EXPECT_EQ(press(pageSwitch2), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_CALLLIST);
    EXPECT_TRUE(has(lastDrawing(), putGd(76, 124, "_sbselGd", 1)));

    EXPECT_EQ(press(pageSwitch2), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_PHONEBOOK);
    EXPECT_EQ(press(pageSwitch), 0u);
    EXPECT_EQ(getBookWindowStatus(), BOOK_CALLLIST);
}

TEST_F(BookKeys, CursorAndPageKeysMoveTheSelection)
{
    start();
    press(actionKeyCode);

    EXPECT_EQ(press(cursorDown), 0u);
    EXPECT_TRUE(has(lastDrawing(), putGd(76, 154, "_sbselGd", 1)));
    EXPECT_EQ(press(cursorDown), 0u);
    EXPECT_EQ(press(cursorDown), 0u); // stops on the third of three calls
    EXPECT_TRUE(has(lastDrawing(), putGd(76, 184, "_sbselGd", 1)));
    EXPECT_EQ(press(cursorUp), 0u);
    EXPECT_TRUE(has(lastDrawing(), putGd(76, 154, "_sbselGd", 1)));

    size_t drawings = drawingCount();
    EXPECT_EQ(press(pageDown), 0u);
    EXPECT_EQ(press(pageUp), 0u);
    EXPECT_EQ(drawingCount(), drawings + 2);
    EXPECT_TRUE(has(lastDrawing(), putGd(76, 154, "_sbselGd", 1)));
}

TEST_F(BookKeys, NavigationKeyOnAnEmptyPageIsUsedButDrawsNothing)
{
    writeSettings("");
    writeAddressBook("0300=Owner\n");
    startProgram();
    press(actionKeyCode);
    size_t drawings = drawingCount();
    addNumberedCalls(1); // a call ends while the empty list is open
    for (dword key : {cursorUp, cursorDown, pageUp, pageDown})
        EXPECT_EQ(press(key), 0u);
    EXPECT_EQ(drawingCount(), drawings);
    EXPECT_EQ(press(pageSwitch), 0u); // an empty phone book is still a page
    EXPECT_EQ(getBookWindowStatus(), BOOK_PHONEBOOK);
}

TEST_F(BookKeys, KeysOutsideTheTableArePassedOn)
{
    start();
    auto tryAll = [&] {
        int page = getBookWindowStatus();
        size_t drawings = drawingCount();
        for (dword key = 0x1000F; key <= 0x10046; ++key) {
            bool listed = key == actionKeyCode || key == dismiss;
            for (dword n : navigationKeys)
                listed = listed || key == n;
            if (!listed)
                EXPECT_EQ(press(key), key) << std::hex << key;
        }
        EXPECT_EQ(getBookWindowStatus(), page);
        EXPECT_EQ(drawingCount(), drawings);
    };
    tryAll();
    press(actionKeyCode);
    tryAll();
    press(pageSwitch);
    tryAll();
}

TEST_F(BookKeys, StopEventClosesTheBookAndLeavesNothingBehind)
{
    start();
    press(actionKeyCode);
    press(cursorDown);
    receiver().stop();

    EXPECT_EQ(getBookWindowStatus(), BOOK_HIDDEN);
    EXPECT_EQ(leaks(), std::vector<std::string>{});
}

} // namespace
} // namespace test
