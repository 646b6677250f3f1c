// The address book: entries read from "addrbook.dat" into a list in file
// order, and the lookup of a caller's number with the area code in front.
#include "store/addressbook.h"

#include "platform/libc.h"
#include "platform/tap.h"
#include "store/properties.h"
#include "store/text.h"

#define NUMBER_SIZE 32
#define NAME_SIZE 64
#define PICTURE_SIZE 32
#define INFO_SIZE 32

static const char unknownPicture[] = "unknown.jpg";

static AddressEntry *addressBook = 0;
static int _entryCnt = 0;
static char areaCode[NUMBER_SIZE] = "";

// The value is "name, picture, info": the name keeps the white space before
// its comma, picture and info are trimmed, and the info keeps later commas.
static void fillEntry(AddressEntry *entry, const char *number, char *value)
{
    const char *picture = "";
    const char *info = "";
    char *comma = strchr(value, ',');
    if (comma != 0) {
        *comma = '\0';
        char *rest = comma + 1;
        comma = strchr(rest, ',');
        if (comma != 0) {
            *comma = '\0';
            info = trim(comma + 1);
        }
        picture = trim(rest);
    }
    copyText(entry->number, number, NUMBER_SIZE);
    copyText(entry->name, value, NAME_SIZE);
    copyText(entry->picture, *picture != '\0' ? picture : unknownPicture, PICTURE_SIZE);
    copyText(entry->info, info, INFO_SIZE);
}

int loadAddressBook(const char *fileName)
{
    char number[PROP_NAME_SIZE];
    char value[PROP_VALUE_SIZE];

    // Loading twice must not strand the entries of the first load.
    unloadAddressBook();

    PropertyFileHandle *file = openPropertyFile(fileName);
    if (file == 0)
        return ADRBOOK_OPEN_FAILED;

    AddressEntry *last = 0;
    int result = ADRBOOK_OK;
    for (;;) {
        int property = getNextProperty(number, value, file);
        if (property == PROP_EOF)
            break;
        if (property != PROP_OK && property != PROP_VALUE_TOO_LONG) {
            TAP_Print("Load Adressbook %s\n", number);
            result = ADRBOOK_FILE_ERROR;
            break;
        }
        if (_entryCnt >= ADRBOOK_MAX_ENTRIES) {
            result = ADRBOOK_TOO_MANY_ENTRIES;
            break;
        }
        dword heapSize = 0, freeHeap = 0, available = 0;
        TAP_MemInfo(&heapSize, &freeHeap, &available);
        AddressEntry *entry = 0;
        if (available >= sizeof(AddressEntry) + 1)
            entry = (AddressEntry *)TAP_MemAlloc(sizeof(AddressEntry));
        if (entry == 0) {
            result = ADRBOOK_NO_MEMORY;
            break;
        }

        fillEntry(entry, number, value);
        entry->index = _entryCnt;
        entry->prev = last;
        entry->next = 0;
        if (last == 0)
            addressBook = entry;
        else
            last->next = entry;
        last = entry;
        _entryCnt++;
    }
    closePropertyFile(file);
    return result;
}

void unloadAddressBook(void)
{
    AddressEntry *entry = addressBook;
    while (entry != 0) {
        AddressEntry *next = entry->next;
        TAP_MemFree(entry);
        entry = next;
    }
    addressBook = 0;
    _entryCnt = 0;
}

// The first entry is looked up but never listed: the list starts behind it.
AddressEntry *getAddressBook(void)
{
    return addressBook != 0 ? addressBook->next : 0;
}

int getAddressEntries(void)
{
    return _entryCnt - 1;
}

void setAreaCode(const char *code)
{
    copyText(areaCode, code, NUMBER_SIZE);
}

// The router's number fields hold up to 32 characters, one more than an
// entry's number, so the caller's buffer is only written when the prefixed
// number fits 31 characters; a longer one is looked up as it came, since a
// cut number could match somebody else's entry.
char *findName(char *number, char *name, char *picture, char *info)
{
    int numberLength = (int)strlen(number);
    int codeLength = (int)strlen(areaCode);
    if (number[0] != '\0' && number[0] != '0' && codeLength > 0 && codeLength + numberLength <= NUMBER_SIZE - 1) {
        char prefixed[NUMBER_SIZE];
        copyText(prefixed, areaCode, NUMBER_SIZE);
        copyText(prefixed + codeLength, number, NUMBER_SIZE - codeLength);
        copyText(number, prefixed, NUMBER_SIZE);
    }
    return findStoredName(number, name, picture, info);
}

char *findStoredName(const char *number, char *name, char *picture, char *info)
{
    const AddressEntry *entry = addressBook;
    while (entry != 0 && strcmp(entry->number, number) != 0)
        entry = entry->next;

    if (entry != 0) {
        copyText(name, entry->name, NAME_SIZE);
        if (picture != 0)
            copyText(picture, entry->picture, PICTURE_SIZE);
        if (info != 0)
            copyText(info, entry->info, INFO_SIZE);
    } else {
        copyText(name, number, NAME_SIZE);
        if (picture != 0)
            copyText(picture, unknownPicture, PICTURE_SIZE);
        if (info != 0)
            info[0] = '\0';
    }
    return name;
}
