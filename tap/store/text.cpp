// Text in the program's fixed-size buffers: every copy into one is cut to
// fit, never left unterminated.
#include "store/text.h"

void copyText(char *dst, const char *src, int size)
{
    if (size <= 0)
        return;
    int i = 0;
    while (i < size - 1 && src[i] != '\0') {
        dst[i] = src[i];
        i++;
    }
    dst[i] = '\0';
}
