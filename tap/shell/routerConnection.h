// The connection to the router's call-event service.
#ifndef RINGWATCHER_SHELL_ROUTERCONNECTION_H
#define RINGWATCHER_SHELL_ROUTERCONNECTION_H

#include "platform/tap.h"

extern int sockfd;
extern int retryCnt;
extern dword startTick;
extern int startupConnectDelay; // ticks, compared as unsigned
extern char fritzBox[32];

int connectMonitor(void);
void serviceRouterConnection(void);

#endif
