// The last 36 finished calls, newest first, in memory only.
#ifndef RINGWATCHER_STORE_CALLERLIST_H
#define RINGWATCHER_STORE_CALLERLIST_H

#include "platform/tap.h"

#define CALLERLIST_MAX 36
#define CALL_ADDED 3
#define CALL_NO_MEMORY 2

typedef struct CallEntry {
    int time;
    int duration;
    int state;
    char number[32];
    struct CallEntry *newer;
    struct CallEntry *older;
} CallEntry;

int addCall(int time, const char *number, int duration, int state);
CallEntry *getCallerList(void);
int getCallEntries(void);
// Counts every recorded call and every emptying of the list. An entry that
// was n-th newest (0 = newest) at one count is still held at a count k
// higher exactly while n + k < getCallEntries(); so a reader can tell
// whether its references survived without following them.
dword getCallerListChanges(void);
void unloadCallerList(void);

#endif
