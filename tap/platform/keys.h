// The remote-control key codes the program reacts to, as the firmware
// delivers them in a key event's parameter. The action key is only the
// default: the settings may choose any other code but these seven.
#ifndef RINGWATCHER_PLATFORM_KEYS_H
#define RINGWATCHER_PLATFORM_KEYS_H

#define KEY_PAGE_SWITCH 0x1000F
#define KEY_CURSOR_UP 0x10012
#define KEY_PAGE_SWITCH2 0x10015
#define KEY_DISMISS 0x10017
#define KEY_CURSOR_DOWN 0x1001D
#define KEY_PAGE_UP 0x10045
#define KEY_PAGE_DOWN 0x10046
#define DEFAULT_ACTION_KEY 0x10049

#endif
