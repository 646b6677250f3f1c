// The address book: numbers to names, pictures and info texts, loaded once
// from "addrbook.dat".
#ifndef RINGWATCHER_STORE_ADDRESSBOOK_H
#define RINGWATCHER_STORE_ADDRESSBOOK_H

#define ADRBOOK_OK 1
#define ADRBOOK_OPEN_FAILED 2
#define ADRBOOK_TOO_MANY_ENTRIES 3
#define ADRBOOK_FILE_ERROR 4
#define ADRBOOK_NO_MEMORY 8

#define ADRBOOK_MAX_ENTRIES 128

typedef struct AddressEntry {
    int index;
    char number[32];
    char name[64];
    char picture[32];
    char info[32];
    struct AddressEntry *prev;
    struct AddressEntry *next;
} AddressEntry;

int loadAddressBook(const char *fileName);
void unloadAddressBook(void);
AddressEntry *getAddressBook(void);
int getAddressEntries(void);
void setAreaCode(const char *code);
// Puts the area code in front of a local number, in the caller's buffer,
// then looks it up.
char *findName(char *number, char *name, char *picture, char *info);
// Looks a number up as it is, for numbers that were stored after findName
// had already prefixed them.
char *findStoredName(const char *number, char *name, char *picture, char *info);

#endif
