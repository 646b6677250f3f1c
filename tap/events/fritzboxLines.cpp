// Turns each collected router line into line-slot state, a status-window
// message and, when a call ends, a caller-list entry.
#include "events/fritzbox.h"
#include "platform/libc.h"
#include "store/addressbook.h"
#include "store/callerlist.h"
#include "store/text.h"

static int nNumberingType = 1;
static char MSN[132];
static FBMessage fbMessage;
static LineState lineStatus[LINE_SLOTS];

int showInfo(const char *ownNumber)
{
    return MSN[0] == 0 || strstr(MSN, ownNumber) != 0;
}

void setMSNs(const char *text)
{
    copyText(MSN, text, sizeof MSN);
}

void setNumberingType(int value)
{
    nNumberingType = value == 1 ? 1 : 0;
}

const LineState *getLineStatus(int slot)
{
    if (slot < 0 || slot >= LINE_SLOTS)
        return 0;
    return &lineStatus[slot];
}

int getCurrentTime(void)
{
    word mjd;
    byte hour, min, sec;
    word year;
    byte month, day, weekDay;
    TAP_GetTime(&mjd, &hour, &min, &sec);
    TAP_ExtractMjd(mjd, &year, &month, &day, &weekDay);
    TAP_Print("Year:%d\n", (int)year);

    // The receiver's clock is taken as local standard time.
    struct tm calendar;
    TAP_MemSet(&calendar, 0, sizeof calendar);
    calendar.tm_sec = sec;
    calendar.tm_min = min;
    calendar.tm_hour = hour;
    calendar.tm_mday = day;
    calendar.tm_mon = month - 1;
    calendar.tm_year = year - 1900;
    return (int)mktime(&calendar);
}

static void startCall(LineState *slot, int callState, char *otherNumber, char *ownNumber, const char *textFormat)
{
    char ownName[64];
    findName(otherNumber, fbMessage.title, fbMessage.picture, fbMessage.info);
    fbMessage.duration = -1;
    findName(ownNumber, ownName, 0, 0);
    TAP_SPrint(fbMessage.text, textFormat, ownName);
    slot->callState = callState;
    slot->startTime = getCurrentTime();
    if (callState == CALL_OUTGOING)
        TAP_Print("TIME1:%ld\n", (long)slot->startTime);
    // The field may hold 32 characters, the slot keeps 31.
    copyText(slot->number, otherNumber, sizeof slot->number);
}

static void endCall(LineState *slot, const char *durationField)
{
    copyText(fbMessage.title, " ", sizeof fbMessage.title);
    fbMessage.duration = readDecimal(durationField);
    TAP_SPrint(fbMessage.text, "Verbindung auf Leitung %d beendet", fbMessage.line);
    if (slot->callState == CALL_INCOMING && fbMessage.duration == 0)
        slot->callState = CALL_MISSED;
    addCall(slot->startTime, slot->number, fbMessage.duration, slot->callState);
}

void showMessage(MonitorState *monitor)
{
    int id = monitor->connectionId;
    // Ids beyond the table would index outside it; -1 / 2 would even land in
    // slot 0, so the id itself is tested.
    if (id < 0 || id >= 2 * LINE_SLOTS) {
        TAP_Print("Ignoring line with connection id %d\n", id);
        return;
    }

    fbMessage.type = monitor->command;
    fbMessage.line = nNumberingType == 1 ? id : id / 2 + 1;
    LineState *slot = &lineStatus[id / 2];

    switch (monitor->command) {
    case EVENT_RING:
        if (showInfo(monitor->param4))
            startCall(slot, CALL_INCOMING, monitor->param3, monitor->param4, "Eingehender Anruf f\374r %s");
        else
            slot->callState = CALL_NONE;
        break;
    case EVENT_CALL:
        if (showInfo(monitor->param4))
            startCall(slot, CALL_OUTGOING, monitor->param5, monitor->param4, "Ausgehendes Gespr\344ch von: %s");
        else
            slot->callState = CALL_NONE;
        break;
    case EVENT_CONNECT:
        if (slot->callState != CALL_NONE) {
            findName(monitor->param4, fbMessage.title, fbMessage.picture, fbMessage.info);
            fbMessage.duration = -1;
            TAP_SPrint(fbMessage.text, "Verbindung auf Leitung %d", fbMessage.line);
        }
        break;
    case EVENT_DISCONNECT:
        if (slot->callState != CALL_NONE)
            endCall(slot, monitor->param3);
        break;
    default: break;
    }

    if (slot->callState != CALL_NONE && monitor->displayCallback != 0)
        monitor->displayCallback(&fbMessage);
}
