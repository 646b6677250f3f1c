// Reader for "name = value" text files: reads the file in 1024-byte blocks
// and hands out one trimmed pair per call, skipping blank and comment lines.
#include "store/properties.h"

#include "platform/libc.h"
#include "store/text.h"

// The reader asks for this much heap before it opens a file: the handle and
// the block with a little room to spare.
#define PROP_HEAP_NEEDED 1040

// Physical lines of the file being read; only the syntax-error text uses it.
// Shared by all handles, since files are read one after the other.
int nLineCnt = 0;

// The receiver's isspace is only asked about 7-bit bytes: Latin-1 letters
// such as 0xE4 must never count as white space, whatever the C library does.
static int isWhite(char c)
{
    unsigned char u = (unsigned char)c;
    return u < 0x80 && isspace(u);
}

PropertyFileHandle *openPropertyFile(const char *name)
{
    dword heapSize = 0, freeHeap = 0, available = 0;
    TAP_MemInfo(&heapSize, &freeHeap, &available);
    if (available < PROP_HEAP_NEEDED)
        return 0;

    PropertyFileHandle *handle = (PropertyFileHandle *)TAP_MemAlloc(sizeof(PropertyFileHandle));
    if (handle == 0)
        return 0;
    handle->block = (byte *)TAP_MemAlloc(PROP_BLOCK_SIZE);
    if (handle->block == 0) {
        TAP_MemFree(handle);
        return 0;
    }
    handle->file = TAP_Hdd_Fopen(name);
    if (handle->file == 0) {
        TAP_MemFree(handle->block);
        TAP_MemFree(handle);
        return 0;
    }
    handle->position = 0;
    handle->filled = 0;
    return handle;
}

void closePropertyFile(PropertyFileHandle *handle)
{
    if (handle == 0)
        return;
    TAP_Hdd_Fclose(handle->file);
    TAP_MemFree(handle->block);
    TAP_MemFree(handle);
}

int readDataFromFile(PropertyFileHandle *handle)
{
    TAP_MemSet(handle->block, 0, PROP_BLOCK_SIZE);
    dword count = TAP_Hdd_Fread(handle->block, 1, PROP_BLOCK_SIZE, handle->file);
    // A firmware that claims more than it was asked for must not send the
    // line scanner past the block.
    if (count > PROP_BLOCK_SIZE)
        count = PROP_BLOCK_SIZE;
    handle->filled = (int)count;
    handle->position = 0;
    return (int)count;
}

int getLine(char *buffer, int size, PropertyFileHandle *handle)
{
    int length = 0;
    int ended = 0;
    int atEnd = 0;

    while (!ended) {
        if (handle->position >= handle->filled && readDataFromFile(handle) == 0) {
            atEnd = 1;
            break;
        }
        const byte *part = handle->block + handle->position;
        int count = handle->filled - handle->position;
        int partLength = count;
        int consumed = count;

        int i = 0;
        while (i < count && part[i] != '\n')
            i++;
        if (i < count) {
            ended = 1;
            consumed = i + 1;
            // A CR that ended the previous block has already ended a line
            // there, so only a CR in this part belongs to the pair.
            partLength = (i > 0 && part[i - 1] == '\r') ? i - 1 : i;
        } else {
            // A lone CR counts only when no LF follows in the rest of the block.
            i = 0;
            while (i < count && part[i] != '\r')
                i++;
            if (i < count) {
                ended = 1;
                consumed = i + 1;
                partLength = i;
            }
        }

        int room = size - 1 - length;
        int copy = partLength < room ? partLength : room;
        for (int k = 0; k < copy; k++)
            buffer[length + k] = (char)part[k];
        if (copy > 0)
            length += copy;
        handle->position += consumed;
    }

    if (size > 0)
        buffer[length] = '\0';
    if (atEnd && length == 0)
        return -1;
    return length;
}

char *trim(char *text)
{
    int length = (int)strlen(text);
    while (length > 0 && isWhite(text[length - 1]))
        text[--length] = '\0';
    while (isWhite(*text))
        text++;
    return text;
}

int getNextProperty(char *name, char *value, PropertyFileHandle *handle)
{
    char line[PROP_LINE_SIZE];

    if (handle->filled == 0 && handle->position == 0)
        nLineCnt = 0;

    for (;;) {
        if (getLine(line, PROP_LINE_SIZE, handle) < 0)
            return PROP_EOF;
        nLineCnt++;
        char *text = trim(line);
        if (*text == '\0' || *text == '#')
            continue;

        char *equals = strchr(text, '=');
        if (equals == 0) {
            // "ERROR in line:" and a 32-bit number fit the 32-byte name buffer.
            TAP_SPrint(name, "ERROR in line:%d", nLineCnt);
            copyText(value, line, PROP_VALUE_SIZE);
            return PROP_SYNTAX_ERROR;
        }

        *equals = '\0';
        const char *key = trim(text);
        const char *setting = trim(equals + 1);
        int result = PROP_OK;
        if ((int)strlen(key) > PROP_NAME_SIZE - 1)
            result = PROP_NAME_TOO_LONG;
        if ((int)strlen(setting) > PROP_VALUE_SIZE - 1)
            result = PROP_VALUE_TOO_LONG;
        copyText(name, key, PROP_NAME_SIZE);
        copyText(value, setting, PROP_VALUE_SIZE);
        return result;
    }
}
