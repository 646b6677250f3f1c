// The book window: draws the call list and the phone book as twelve-row
// pages and moves through them for the key routing.
#include "view/viewBook.h"

#include "events/fritzbox.h"
#include "images/images.h"
#include "platform/libc.h"
#include "store/addressbook.h"
#include "store/callerlist.h"
#include "view/fontColor.h"

static int currentPage = BOOK_HIDDEN;
static int bookWindow = -1;
// An AddressEntry on the phone book, a CallEntry on the call list; 0 = none.
static void *firstEntry = 0;
static void *lastEntry = 0;
static int currentEntry = 1;

// Where the call list's references stood in the caller list at the latest
// drawing: positions from the newest call, and the list's change count.
static dword seenChanges = 0;
static int firstPosition = 0;
static int lastPosition = 0;

#define TEXT_SIZE 128

static AddressEntry *asAddress(void *entry)
{
    return static_cast<AddressEntry *>(entry);
}
static CallEntry *asCall(void *entry)
{
    return static_cast<CallEntry *>(entry);
}

static void putImage(int x, int y, const TYPE_GrData *image, int sprite)
{
    TAP_Osd_PutGd((word)bookWindow, x, y, image, sprite);
}

static void putText(int x, int y, int maxX, const char *text, byte size, byte dot, byte align)
{
    TAP_Osd_PutS((word)bookWindow, (dword)x, (dword)y, (dword)maxX, text, fontColor, 0, 0, size, dot, align);
}

static void putPicture(const char *file)
{
    TAP_Osd_DrawJpeg((word)bookWindow, 500, 116, 166, 158, file, 0);
    putImage(500, 116, &_piccoverGd, 1);
}

// The entry one step towards the end of the shown list, or 0.
static void *entryAfter(void *entry)
{
    if (entry == 0)
        return 0;
    if (currentPage == BOOK_PHONEBOOK)
        return asAddress(entry)->next;
    return asCall(entry)->older;
}

// The entry one step towards the start, or 0. The address book's first
// entry is never listed, so the phone book stops at the entry behind it.
static void *entryBefore(void *entry)
{
    if (entry == 0)
        return 0;
    if (currentPage == BOOK_PHONEBOOK) {
        AddressEntry *prev = asAddress(entry)->prev;
        return (prev != 0 && prev->prev != 0) ? prev : 0;
    }
    return asCall(entry)->newer;
}

static int positionOf(CallEntry *entry)
{
    int position = 0;
    for (; entry->newer != 0; entry = entry->newer)
        ++position;
    return position;
}

static void recordPlace(void)
{
    seenChanges = getCallerListChanges();
    if (firstEntry == 0)
        return;
    firstPosition = positionOf(asCall(firstEntry));
    lastPosition = positionOf(asCall(lastEntry));
}

// Whether the entry at `position` at the latest drawing is still held after
// `added` more changes; computed, since the entry itself may be freed.
static int stillHeld(int position, dword added)
{
    int held = getCallEntries();
    return position < held && added < (dword)(held - position);
}

static void startAfresh(void)
{
    firstEntry = getCallerList();
    CallEntry *entry = asCall(firstEntry);
    for (int row = 1; row <= BOOK_ROWS && entry != 0; ++row, entry = entry->older)
        lastEntry = entry;
}

// Calls end while the call list is open, and the caller list drops its
// oldest entry without notice. The window keeps its place: only a reference
// to a dropped entry moves, the last row's to the oldest call left; when
// the first row's call itself is gone, the list starts afresh at the newest.
// The window stays as drawn until the next key. A list drawn empty refers
// to nothing and stays empty, keys and all, until it is opened again. A
// closed book or the phone book reads no call references before the next
// opening resets them.
static void followCallerList(void)
{
    if (currentPage != BOOK_CALLLIST || firstEntry == 0)
        return;
    dword added = getCallerListChanges() - seenChanges;
    if (added == 0)
        return;
    if (!stillHeld(firstPosition, added)) {
        startAfresh();
    } else if (!stillHeld(lastPosition, added)) {
        CallEntry *oldest = asCall(firstEntry);
        while (oldest->older != 0)
            oldest = oldest->older;
        lastEntry = oldest;
    }
    recordPlace();
}

static void drawPhoneBook(void)
{
    char text[TEXT_SIZE];

    putImage(85, 85, &_symboladrbookGd, 1);
    putImage(72, 48, &_headeradrbookGd, 1);
    putText(80, 50, 192, "Anrufliste", 0, 1, 1);
    putText(200, 50, 306, "Telefonbuch", 0, 1, 1);

    if (firstEntry == 0)
        firstEntry = getAddressBook();
    int count = getAddressEntries();

    AddressEntry *entry = asAddress(firstEntry);
    for (int row = 1; row <= BOOK_ROWS && entry != 0; ++row, entry = entry->next) {
        int t = 30 * (row - 1);
        if (row == currentEntry) {
            TAP_SPrint(text, "%d.", entry->index);
            putText(159, 93, 194, text, 1, 1, 0);
            TAP_SPrint(text, "%d/%d", entry->index, count);
            putText(389, 93, 454, text, 1, 1, 0);
            putText(198, 93, 364, entry->info, 1, 1, 0);
            putImage(76, 124 + t, &_sbselGd, 1);
            putPicture(entry->picture);
        }
        putText(78, 128 + t, 228, entry->number, 1, 1, 0);
        putText(236, 128 + t, 494, entry->name, 1, 1, 0);
        lastEntry = entry;
    }
}

static const TYPE_GrData *stateMarker(int state)
{
    switch (state) {
    case CALL_INCOMING: return &_linegreenGd;
    case CALL_MISSED: return &_lineredGd;
    case CALL_OUTGOING: return &_lineblueGd;
    default: return 0;
    }
}

static void drawCallList(void)
{
    char text[TEXT_SIZE];
    char name[64];
    char picture[32];
    char info[32];

    putImage(85, 85, &_symbolcalllistGd, 1);
    putImage(72, 48, &_headercalllistGd, 1);
    putText(79, 50, 192, "Anrufliste", 0, 1, 1);
    putText(200, 50, 306, "Telefonbuch", 0, 1, 1);

    if (firstEntry == 0)
        firstEntry = getCallerList();

    CallEntry *entry = asCall(firstEntry);
    for (int row = 1; row <= BOOK_ROWS && entry != 0; ++row, entry = entry->older) {
        int t = 30 * (row - 1);

        // The stored number carries the area code from the call already.
        findStoredName(entry->number, name, picture, info);

        if (row == currentEntry) {
            putText(198, 93, 364, info, 1, 1, 0);
            putImage(76, 124 + t, &_sbselGd, 1);
            putPicture(picture);
            putImage(514, 290, &_callclockadrbookGd, 1);
            putText(544, 290, 654, getDuration(text, entry->duration), 1, 0, 0);
        }

        const TYPE_GrData *marker = stateMarker(entry->state);
        if (marker != 0)
            putImage(76, 126 + t, marker, 1);

        time_t when = entry->time;
        struct tm *local = localtime(&when);
        if (local == 0 || strftime(text, sizeof text, "%d.%m.%Y %H:%M", local) == 0)
            text[0] = '\0';
        putText(102, 128 + t, 228, text, 1, 1, 0);
        putText(236, 128 + t, 494, name, 1, 1, 0);
        lastEntry = entry;
    }
    recordPlace();
}

void showBook(void)
{
    followCallerList();
    TAP_Print("Show Book\n");
    if (bookWindow == -1)
        bookWindow = TAP_Osd_Create(0, 0, 720, 576, 0, 0);
    TAP_Hdd_ChangeDir("/PhotoFiles/Ringwatcher/");
    TAP_ExitNormal();
    putImage(64, 40, &_backteladrGd, 0);

    if (currentPage == BOOK_PHONEBOOK)
        drawPhoneBook();
    else if (currentPage == BOOK_CALLLIST)
        drawCallList();

    TAP_Osd_Sync();
}

int getBookWindowStatus(void)
{
    return currentPage;
}

void setPage(int page)
{
    currentPage = page;
    firstEntry = 0;
    currentEntry = 1;
    showBook();
}

void bookPageUp(void)
{
    followCallerList();
    if (firstEntry == 0)
        return;
    for (int step = 0; step < BOOK_ROWS; ++step) {
        void *before = entryBefore(firstEntry);
        if (before == 0)
            break;
        firstEntry = before;
    }
    showBook();
}

void bookPageDown(void)
{
    followCallerList();
    if (firstEntry == 0)
        return;
    for (int step = 0; step < BOOK_ROWS; ++step) {
        void *after = entryAfter(lastEntry);
        if (after == 0)
            break;
        firstEntry = entryAfter(firstEntry);
        lastEntry = after;
    }
    showBook();
}

void bookCursorUp(void)
{
    followCallerList();
    if (firstEntry == 0)
        return;
    if (currentEntry >= 2) {
        --currentEntry;
    } else {
        void *before = entryBefore(firstEntry);
        if (before != 0)
            firstEntry = before;
    }
    showBook();
}

void bookCursorDown(void)
{
    followCallerList();
    if (firstEntry == 0)
        return;
    if (currentEntry < BOOK_ROWS) {
        int count = currentPage == BOOK_PHONEBOOK ? getAddressEntries() : getCallEntries();
        if (currentEntry < count)
            ++currentEntry;
    } else if (entryAfter(lastEntry) != 0) {
        firstEntry = entryAfter(firstEntry);
    }
    showBook();
}

void hideBook(void)
{
    if (bookWindow == -1)
        return;
    TAP_Osd_Delete((word)bookWindow);
    TAP_Osd_Sync();
    TAP_EnterNormal();
    bookWindow = -1;
    currentPage = BOOK_HIDDEN;
}
