// Reader for "name = value" text files, block by block from the disk.
#ifndef RINGWATCHER_STORE_PROPERTIES_H
#define RINGWATCHER_STORE_PROPERTIES_H

#include "platform/tap.h"

#define PROP_EOF 0
#define PROP_OK 1
#define PROP_NAME_TOO_LONG 2
#define PROP_VALUE_TOO_LONG 3
#define PROP_SYNTAX_ERROR 4

#define PROP_BLOCK_SIZE 1024
#define PROP_NAME_SIZE 32
#define PROP_VALUE_SIZE 128
#define PROP_LINE_SIZE 161

typedef struct {
    byte *block;
    int position;
    int filled;
    TYPE_File *file;
} PropertyFileHandle;

extern int nLineCnt;

PropertyFileHandle *openPropertyFile(const char *name);
void closePropertyFile(PropertyFileHandle *handle);
int readDataFromFile(PropertyFileHandle *handle);
int getLine(char *buffer, int size, PropertyFileHandle *handle);
char *trim(char *text);
int getNextProperty(char *name, char *value, PropertyFileHandle *handle);

#endif
