// Call durations as "hh:mm:ss", for the status window and the call list.
#include "events/fritzbox.h"

// Sixteen bytes hold every int: hours take up to seven characters with the
// sign, minutes and seconds three each when negative.
char *getDuration(char *buffer, int seconds)
{
    TAP_SPrint(buffer, "%02d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
    return buffer;
}
