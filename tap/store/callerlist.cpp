// The caller list: the last 36 finished calls, newest first, each a heap
// block of its own, kept only while the program runs.
#include "store/callerlist.h"

#include "platform/tap.h"
#include "store/text.h"

static CallEntry *callerList = 0; // newest
static CallEntry *lastEntry = 0;  // oldest
static int _entryCnt = 0;
static dword nChanges = 0;

int addCall(int time, const char *number, int duration, int state)
{
    dword heapSize = 0, freeHeap = 0, available = 0;
    TAP_MemInfo(&heapSize, &freeHeap, &available);
    if (available < sizeof(CallEntry) + 1)
        return CALL_NO_MEMORY;
    CallEntry *entry = (CallEntry *)TAP_MemAlloc(sizeof(CallEntry));
    if (entry == 0)
        return CALL_NO_MEMORY;

    entry->time = time;
    entry->duration = duration;
    entry->state = state;
    // The router's number field may hold one character more than an entry.
    copyText(entry->number, number != 0 ? number : "", sizeof entry->number);
    entry->newer = 0;
    entry->older = callerList;

    if (callerList != 0)
        callerList->newer = entry;
    else
        lastEntry = entry;
    callerList = entry;
    _entryCnt++;
    nChanges++;

    if (_entryCnt > CALLERLIST_MAX) {
        CallEntry *oldest = lastEntry;
        lastEntry = oldest->newer;
        lastEntry->older = 0;
        TAP_MemFree(oldest);
        _entryCnt--;
    }
    return CALL_ADDED;
}

CallEntry *getCallerList(void)
{
    return callerList;
}

int getCallEntries(void)
{
    return _entryCnt;
}

dword getCallerListChanges(void)
{
    return nChanges;
}

void unloadCallerList(void)
{
    CallEntry *entry = callerList;
    while (entry != 0) {
        CallEntry *older = entry->older;
        TAP_MemFree(entry);
        entry = older;
    }
    callerList = 0;
    lastEntry = 0;
    _entryCnt = 0;
    nChanges++;
}
