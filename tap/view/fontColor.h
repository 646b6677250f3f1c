// The colour of every text the program draws, in the status window and the
// book window alike.
#ifndef RINGWATCHER_VIEW_FONTCOLOR_H
#define RINGWATCHER_VIEW_FONTCOLOR_H

#include "platform/tap.h"

extern dword fontColor; // 0xAARRGGBB, always opaque

#endif
