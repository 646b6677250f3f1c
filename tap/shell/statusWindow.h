// The status window: the overlay bar with one call event or error message,
// and the display times of each kind of message.
#ifndef RINGWATCHER_SHELL_STATUSWINDOW_H
#define RINGWATCHER_SHELL_STATUSWINDOW_H

#include "events/message.h"
#include "platform/tap.h"

extern int statusWindow;    // region handle, -1 = no window
extern dword statusTimeout; // tick at which it goes, 0 = never
extern int statusWindowXOffset;
extern int statusWindowYOffset;
extern int displayDelay; // ticks, for errors and every other type
extern int incomingDelay;
extern int connectDelay;
extern int calloutDelay;
extern int disconnectDelay;

// The tick `ticks` from now, for statusTimeout: never 0, which would mean
// never, when the counter wraps onto it.
dword statusTimeoutIn(dword ticks);
// Whether statusTimeout has come; the counter may have wrapped since it was set.
int statusTimeoutPassed(void);

void displayFBMessage(const FBMessage *message);
void displayErrorMessage(int type, const char *text);
void removeStatusWindow(void);

#endif
