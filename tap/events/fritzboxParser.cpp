// Collects the fields of the router's call-event lines into FritzBoxMonitor,
// byte by byte across reads, and hands each complete line to showMessage.
#include "events/fritzbox.h"
#include "platform/libc.h"

MonitorState FritzBoxMonitor;

int getCommand(const char *word)
{
    if (strcmp(word, "CALL") == 0)
        return EVENT_CALL;
    if (strcmp(word, "CONNECT") == 0)
        return EVENT_CONNECT;
    if (strcmp(word, "RING") == 0)
        return EVENT_RING;
    if (strcmp(word, "DISCONNECT") == 0)
        return EVENT_DISCONNECT;
    return EVENT_UNKNOWN;
}

void startLine(MonitorState *monitor)
{
    monitor->fieldIndex = 0;
    monitor->charCnt = 0;
}

// atoi's reading of a decimal number, but with a result defined for every
// input: values beyond 32 bits saturate instead of wrapping differently on
// the receiver (32-bit long) and on the PC (64-bit long).
int readDecimal(const char *text)
{
    const unsigned char *p = (const unsigned char *)text;
    while (*p != 0 && isspace(*p))
        p++;
    int negative = 0;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    // Magnitude kept in unsigned so that INT_MIN's 2147483648 is representable.
    const unsigned int limit = negative ? 2147483648u : 2147483647u;
    unsigned int value = 0;
    while (*p >= '0' && *p <= '9') {
        unsigned int digit = *p - '0';
        if (value > (limit - digit) / 10) {
            value = limit;
            break;
        }
        value = value * 10 + digit;
        p++;
    }
    if (!negative)
        return (int)value;
    return value == 2147483648u ? (-2147483647 - 1) : -(int)value;
}

// Buffer that collects the given field; 0 for fields that are not kept.
static char *fieldBuffer(MonitorState *monitor, int fieldIndex)
{
    switch (fieldIndex) {
    case 1:
    case 2: return monitor->token;
    case 3: return monitor->param3;
    case 4: return monitor->param4;
    case 5: return monitor->param5;
    case 6: return monitor->param6;
    default: return 0;
    }
}

static void closeField(MonitorState *monitor)
{
    char *buffer = fieldBuffer(monitor, monitor->fieldIndex);
    if (buffer != 0)
        buffer[monitor->charCnt] = 0;
    if (monitor->fieldIndex == 1)
        monitor->command = getCommand(monitor->token);
    else if (monitor->fieldIndex == 2)
        monitor->connectionId = readDecimal(monitor->token);
    // A line of two thousand million fields must not overflow the count.
    if (monitor->fieldIndex < 2147483647)
        monitor->fieldIndex++;
    monitor->charCnt = 0;
}

// Bytes the tight loop below may pass over: neither the separator nor a
// control byte ('\n' ends a line, '\r' is dropped, NUL ends the read). The
// date at the start of a line and fields past the sixth are skipped, not
// copied.
static inline int isOrdinary(char c)
{
    return c != ';' && (unsigned char)c > '\r';
}

void handleData(const char *text, MonitorState *monitor)
{
    // The field's buffer and count live in locals between the separators,
    // and the bytes between two separators go through one tight loop: on the
    // receiver's slow CPU every idle event with a line waiting passes here.
    char *buffer = fieldBuffer(monitor, monitor->fieldIndex);
    int count = monitor->charCnt;
    const char *p = text;
    while (1) {
        if (buffer == 0) {
            while (isOrdinary(*p))
                p++;
        } else {
            for (char c = *p; isOrdinary(c); c = *++p) {
                if (count < FIELD_MAX)
                    buffer[count++] = c;
            }
        }
        char c = *p++;
        if (c == 0)
            break;
        if (c == '\n') {
            monitor->charCnt = count;
            showMessage(monitor);
            monitor->fieldIndex = 0;
            count = 0;
            buffer = 0;
        } else if (c == ';') {
            monitor->charCnt = count;
            closeField(monitor);
            count = 0;
            buffer = fieldBuffer(monitor, monitor->fieldIndex);
        } else if (c != '\r' && buffer != 0 && count < FIELD_MAX) {
            // Other control bytes are data like any other; only '\r' is dropped.
            buffer[count++] = c;
        }
    }
    monitor->charCnt = count;
}
