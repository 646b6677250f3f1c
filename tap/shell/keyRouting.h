// Remote-control keys for the book window and the status window.
#ifndef RINGWATCHER_SHELL_KEYROUTING_H
#define RINGWATCHER_SHELL_KEYROUTING_H

#include "platform/tap.h"

extern dword actionKey;
// 0 for a key the program used, the key itself for the firmware to handle.
dword routeKey(dword key);

#endif
