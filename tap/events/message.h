// One status-window message, as the line handler fills it for a call event
// and the status window fills it for an error. The type is an event kind or
// an error number, so both lists live here beside the record.
#ifndef RINGWATCHER_EVENTS_MESSAGE_H
#define RINGWATCHER_EVENTS_MESSAGE_H

#define EVENT_CALL 1
#define EVENT_CONNECT 2
#define EVENT_RING 3
#define EVENT_DISCONNECT 4
#define EVENT_UNKNOWN (-1)

#define MSG_ERR_LOAD_INI 100
#define MSG_ERR_IN_INI 101
#define MSG_ERR_LOAD_ADRBOOK 102
#define MSG_ERR_IN_ADRBOOK 103
#define MSG_ERR_MEMORY 104
#define MSG_ERR_ENTRIES_ADRBOOK 105
// 106 is drawn like 107 but never sent.
#define MSG_ERR_CONNECTION 107

typedef struct {
    int type;
    int line;
    int duration; // seconds; drawn only when greater than 0
    char text[128];
    char title[64];
    char picture[32]; // JPEG file name in the picture folder
    char info[32];
} FBMessage;

#endif
