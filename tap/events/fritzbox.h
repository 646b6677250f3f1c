// The router's call-event stream: the parser that collects a line's fields
// across reads, and the line handler that turns a line into a status-window
// message, line-slot state and caller-list entries.
#ifndef RINGWATCHER_EVENTS_FRITZBOX_H
#define RINGWATCHER_EVENTS_FRITZBOX_H

#include "events/message.h"
#include "platform/tap.h"

#define CALL_NONE 0
#define CALL_INCOMING 1
#define CALL_MISSED 2
#define CALL_OUTGOING 3

#define FIELD_MAX 32

typedef struct {
    int fieldIndex;
    int command;
    int connectionId;
    char token[FIELD_MAX + 1];
    int charCnt;
    char param3[FIELD_MAX + 1];
    char param4[FIELD_MAX + 1];
    char param5[FIELD_MAX + 1];
    char param6[FIELD_MAX + 1];
    void (*displayCallback)(const FBMessage *message);
} MonitorState;

typedef struct {
    int startTime;
    char number[32];
    int callState;
} LineState;

#define LINE_SLOTS 4

extern MonitorState FritzBoxMonitor;

// Parser (fritzboxParser.cpp).
void handleData(const char *text, MonitorState *monitor);
int getCommand(const char *word);
// Leading decimal number as atoi reads it; beyond 32 bits it saturates.
int readDecimal(const char *text);

// Line handler (fritzboxLines.cpp).
void showMessage(MonitorState *monitor);
int showInfo(const char *ownNumber);
void setMSNs(const char *text);
void setNumberingType(int value);
int getCurrentTime(void);
const LineState *getLineStatus(int slot);

// Duration as "hh:mm:ss" into a buffer of at least 16 bytes.
char *getDuration(char *buffer, int seconds);

#endif
