// The status window: one overlay bar showing a call event or an error, with
// its display time.
#include "shell/statusWindow.h"

#include "events/fritzbox.h"
#include "images/images.h"
#include "store/text.h"
#include "view/fontColor.h"

int statusWindow = -1;
dword statusTimeout = 0;
int statusWindowXOffset = 30;
int statusWindowYOffset = 56;
int displayDelay = 600;
int incomingDelay = 600;
int connectDelay = 600;
int calloutDelay = 600;
int disconnectDelay = 600;

static int statusDelay;
static FBMessage fbMessage;

// A negative disconnect delay of exactly -2 seconds leaves the window alone.
#define DISCONNECT_KEEP_WINDOW (-200)

void removeStatusWindow(void)
{
    TAP_Osd_Delete((word)statusWindow);
    TAP_Osd_Sync();
    statusWindow = -1;
}

static int isErrorType(int type)
{
    return type >= MSG_ERR_LOAD_INI && type <= MSG_ERR_CONNECTION;
}

// For the error types only; 106, never sent, looks like a connection error.
static const TYPE_GrData *errorImage(int type)
{
    switch (type) {
    case MSG_ERR_LOAD_INI: return &_errorloadiniGd;
    case MSG_ERR_IN_INI: return &_errorininiGd;
    case MSG_ERR_LOAD_ADRBOOK: return &_errorloadadrbookGd;
    case MSG_ERR_IN_ADRBOOK: return &_errorinadrbookGd;
    case MSG_ERR_MEMORY: return &_errormemoryGd;
    case MSG_ERR_ENTRIES_ADRBOOK: return &_errorentriesadrbookGd;
    default: return &_errorconnection2Gd;
    }
}

static void putText(int x, int y, int maxX, const char *text, byte dot)
{
    TAP_Osd_PutS((word)statusWindow, (dword)x, (dword)y, (dword)maxX, text, fontColor, 0, 0, 1, dot, 0);
}

void displayFBMessage(const FBMessage *message)
{
    static int incoming = 0;
    const TYPE_GrData *background = &_fritzmainmsgGd;
    const TYPE_GrData *icon = &_callmissedGd;
    int withPicture = 0;
    int shift = 0;
    int delay = displayDelay;
    int type = message->type;

    switch ((unsigned)type) {
    case EVENT_CALL:
        incoming = 0;
        if (calloutDelay < 0)
            return;
        delay = calloutDelay;
        background = &_fritzmaincallGd;
        icon = &_calloutGd;
        withPicture = 1;
        shift = 73;
        break;
    case EVENT_CONNECT:
        if (connectDelay < 0) {
            if (statusWindow != -1)
                removeStatusWindow();
            return;
        }
        delay = connectDelay;
        background = &_fritzmaincallGd;
        icon = incoming == 1 ? &_callinGd : &_calloutGd;
        withPicture = 1;
        shift = 73;
        break;
    case EVENT_RING:
        incoming = 1;
        if (incomingDelay < 0)
            return;
        delay = incomingDelay;
        background = &_fritzmaincallGd;
        icon = &_callinGd;
        withPicture = 1;
        shift = 73;
        break;
    case EVENT_DISCONNECT:
        if (disconnectDelay < 0) {
            if (disconnectDelay != DISCONNECT_KEEP_WINDOW && statusWindow != -1)
                removeStatusWindow();
            return;
        }
        delay = disconnectDelay;
        icon = incoming == 1 ? &_callinendGd : &_calloutendGd;
        break;
    default:
        if (isErrorType(type))
            icon = errorImage(type);
        break;
    }

    statusDelay = delay;
    if (statusWindow == -1)
        statusWindow = TAP_Osd_Create(0, 0, 720, 576, 0, 0);

    int x = statusWindowXOffset;
    int y = statusWindowYOffset;
    word rgn = (word)statusWindow;
    TAP_Osd_PutGd(rgn, x, y, background, 0);
    if (withPicture) {
        TAP_Hdd_ChangeDir("/PhotoFiles/Ringwatcher/");
        TAP_Osd_DrawJpeg(rgn, (dword)(x + 9), (dword)(y + 11), 68, 62, message->picture, 0);
        TAP_Osd_PutGd(rgn, x + 9, y + 11, &_covermainGd, 1);
    }
    putText(x + 126, y + 16, x + 486, message->title, 1);
    putText(x + shift + 49, y + 51, x + shift + 549, message->text, 0);
    if (type < MSG_ERR_LOAD_INI) {
        char buffer[16];
        TAP_Osd_PutGd(rgn, x + 88, y + 14, icon, 0);
        TAP_Osd_PutGd(rgn, x + shift + 9, y + 49, &_telephonGd, 0);
        if (message->duration > 0) {
            TAP_Osd_PutGd(rgn, x + 400, y + 12, &_durationGd, 0);
            putText(x + 425, y + 16, x + 490, getDuration(buffer, message->duration), 0);
        }
        TAP_Osd_PutGd(rgn, x + 491, y + 17, &_lineGd, 0);
        TAP_SPrint(buffer, "%d", message->line);
        putText(x + 537, y + 16, x + 562, buffer, 0);
    } else {
        TAP_Osd_PutGd(rgn, x + 88, y + 14, &_attentionGd, 0);
        TAP_Osd_PutGd(rgn, x + shift + 9, y + 49, icon, 0);
    }
    TAP_Osd_Sync();

    if (statusDelay != 0)
        statusTimeout = statusTimeoutIn((dword)statusDelay);
    else
        statusTimeout = 0;
}

dword statusTimeoutIn(dword ticks)
{
    dword at = TAP_GetTick() + ticks;
    return at == 0 ? 1 : at;
}

int statusTimeoutPassed(void)
{
    // The difference read as signed is right across a wrap of the counter
    // for any timeout under 248 days.
    return (int)(TAP_GetTick() - statusTimeout) >= 0;
}

void displayErrorMessage(int type, const char *text)
{
    fbMessage.type = type;
    copyText(fbMessage.title, "Ringwatcher Fehler", sizeof fbMessage.title);
    fbMessage.duration = 0;
    copyText(fbMessage.text, text, sizeof fbMessage.text);
    displayFBMessage(&fbMessage);
}
