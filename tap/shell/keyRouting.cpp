// Remote-control keys: the action key opens and closes the book window, the
// dismiss key removes the status window or closes the book, and the
// navigation keys drive the book while it is open.
#include "shell/keyRouting.h"

#include "platform/keys.h"
#include "shell/statusWindow.h"
#include "view/viewBook.h"

dword actionKey = DEFAULT_ACTION_KEY;

static int normalViewing(void)
{
    dword state = 0;
    dword subState = 0;
    TAP_GetState(&state, &subState);
    return state == STATE_Normal && subState == SUBSTATE_Normal;
}

dword routeKey(dword key)
{
    int normal = normalViewing();
    int bookOpen = getBookWindowStatus() != BOOK_HIDDEN;

    if (key == actionKey) {
        if (normal) {
            if (bookOpen)
                hideBook();
            else
                setPage(BOOK_CALLLIST);
            return 0;
        }
        if (bookOpen) {
            hideBook();
            return 0;
        }
        return key;
    }

    switch (key) {
    case KEY_DISMISS:
        if (statusWindow != -1) {
            removeStatusWindow();
            return 0;
        }
        if (bookOpen) {
            hideBook();
            return 0;
        }
        return key;
    case KEY_PAGE_SWITCH:
    case KEY_PAGE_SWITCH2:
    case KEY_CURSOR_UP:
    case KEY_CURSOR_DOWN:
    case KEY_PAGE_UP:
    case KEY_PAGE_DOWN:
        if (normal || !bookOpen)
            return key;
        if (key == KEY_PAGE_SWITCH || key == KEY_PAGE_SWITCH2)
            setPage(getBookWindowStatus() == BOOK_CALLLIST ? BOOK_PHONEBOOK : BOOK_CALLLIST);
        else if (key == KEY_CURSOR_UP)
            bookCursorUp();
        else if (key == KEY_CURSOR_DOWN)
            bookCursorDown();
        else if (key == KEY_PAGE_UP)
            bookPageUp();
        else
            bookPageDown();
        return 0;
    default: return key;
    }
}
