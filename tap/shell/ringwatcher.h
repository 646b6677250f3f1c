// The main module: entry, event dispatch, router connection, settings,
// status window and key routing. This header holds what the other modules
// of the program read of it.
#ifndef RINGWATCHER_SHELL_RINGWATCHER_H
#define RINGWATCHER_SHELL_RINGWATCHER_H

#include "platform/keys.h"
#include "platform/tap.h"

// One status-window message: a call event (types 1 to 4, -1) or an error.
typedef struct {
    int type;
    int line;
    int duration; // seconds; drawn only when greater than 0
    char text[128];
    char title[64];
    char picture[32]; // JPEG file name in the picture folder
    char info[32];
} FBMessage;

#define MSG_ERR_LOAD_INI 100
#define MSG_ERR_IN_INI 101
#define MSG_ERR_LOAD_ADRBOOK 102
#define MSG_ERR_IN_ADRBOOK 103
#define MSG_ERR_MEMORY 104
#define MSG_ERR_ENTRIES_ADRBOOK 105
#define MSG_ERR_CONNECTION 107

// Status window (statusWindow.cpp).
extern int statusWindow;    // region handle, -1 = no window
extern dword statusTimeout; // tick at which it goes, 0 = never
extern int statusWindowXOffset;
extern int statusWindowYOffset;
extern int displayDelay; // ticks, for errors and every other type
extern int incomingDelay;
extern int connectDelay;
extern int calloutDelay;
extern int disconnectDelay;
extern dword fontColor;
void displayFBMessage(const FBMessage *message);
void displayErrorMessage(int type, const char *text);
void removeStatusWindow(void);

// Entry and tear-down (ringwatcher.cpp).
extern int forceExit;
void stopTap(void);

// Router connection (routerConnection.cpp).
extern int sockfd;
extern int retryCnt;
extern dword startTick;
extern int startupConnectDelay; // ticks, compared as unsigned
extern char fritzBox[32];
int connectMonitor(void);
void serviceRouterConnection(void);

// Settings (settings.cpp).
int loadSettings(const char *fileName);

// Key routing (keyRouting.cpp).
extern dword actionKey;
dword routeKey(dword key);

#endif
