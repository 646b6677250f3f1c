// The settings file, read once at start-up.
#ifndef RINGWATCHER_SHELL_SETTINGS_H
#define RINGWATCHER_SHELL_SETTINGS_H

int loadSettings(const char *fileName);

#endif
