// Text in the program's fixed-size buffers.
#ifndef RINGWATCHER_STORE_TEXT_H
#define RINGWATCHER_STORE_TEXT_H

// Bounded copy: at most size - 1 characters, always terminated.
void copyText(char *dst, const char *src, int size);

#endif
