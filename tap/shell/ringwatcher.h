// The main module: start-up, event dispatch and tear-down.
#ifndef RINGWATCHER_SHELL_RINGWATCHER_H
#define RINGWATCHER_SHELL_RINGWATCHER_H

// Set by a fatal connection error: the program ends itself once the status
// window's timeout has removed the final message.
extern int forceExit;
void stopTap(void);

#endif
