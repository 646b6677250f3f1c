// The few functions of the receiver's C library that the program calls.
// The socket, resolver and time declarations come from the target's own
// headers (their constants differ: SOCK_STREAM is 2, FIONREAD 0x467F,
// SOL_SOCKET 0xFFFF, SO_KEEPALIVE 8 and SO_SNDTIMEO 0x1005 on MIPS). String, number and character functions are
// declared here instead of including <string.h>, <stdlib.h> or <ctype.h>, so that no header inline (a ctype table
// lookup, a fortified wrapper) adds an import that the receiver's library may not have.
#ifndef RINGWATCHER_PLATFORM_LIBC_H
#define RINGWATCHER_PLATFORM_LIBC_H

#undef _FORTIFY_SOURCE
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

extern "C" {
void bcopy(const void *src, void *dst, __SIZE_TYPE__ n);

__SIZE_TYPE__ strlen(const char *s);
char *strcpy(char *dst, const char *src);
int strcmp(const char *a, const char *b);
int strncmp(const char *a, const char *b, __SIZE_TYPE__ n);
char *strchr(const char *s, int c);
char *strstr(const char *haystack, const char *needle);

int atoi(const char *s);
int isspace(int c);
}

#endif
