// The last 36 finished calls, newest first, in memory only.
#ifndef RINGWATCHER_STORE_CALLERLIST_H
#define RINGWATCHER_STORE_CALLERLIST_H

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
void unloadCallerList(void);

#endif
