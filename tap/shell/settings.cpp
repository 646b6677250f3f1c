// Reads "ringwatcher.ini" once at start-up and stores each known setting,
// converted, in the variable of the module that uses it.
#include "shell/settings.h"

#include "events/fritzbox.h"
#include "platform/keys.h"
#include "platform/libc.h"
#include "shell/keyRouting.h"
#include "shell/routerConnection.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "store/properties.h"
#include "store/text.h"
#include "view/fontColor.h"

#define TEXT_SETTING_MAX 31 // "FritzBox" and "AreaCode" land in 32-byte buffers

static const char errorInSettings[] = "Fehler in der konfigurationsdatei";

// Delays are written in seconds and held in ticks. The file may ask for any
// number; the product wraps in 32 bits like the receiver's multiply does.
static int toTicks(const char *value)
{
    return (int)((unsigned)atoi(value) * 100u);
}

// "r,g,b," with each component read only when a comma follows it; a missing
// component is 255. Components are not limited to 0..255: they spill over.
static dword toFontColor(const char *value)
{
    dword component[3];
    const char *position = value;
    for (int i = 0; i < 3; i++) {
        const char *comma = strchr(position, ',');
        if (comma != 0) {
            component[i] = (dword)atoi(position);
            position = comma + 1;
        } else {
            component[i] = 255;
        }
    }
    return 0xFF000000u | (component[0] << 16) | (component[1] << 8) | component[2];
}

// The keys that drive the book and the status window cannot open the book.
static int isReservedKey(dword key)
{
    return key == KEY_PAGE_SWITCH || key == KEY_CURSOR_UP || key == KEY_PAGE_SWITCH2 || key == KEY_DISMISS ||
           key == KEY_CURSOR_DOWN || key == KEY_PAGE_UP || key == KEY_PAGE_DOWN;
}

static void reportError(void)
{
    displayErrorMessage(MSG_ERR_IN_INI, errorInSettings);
}

static void reportValueTooLong(void)
{
    TAP_Print("ERROR: Variable value to long in settings file\n");
    reportError();
}

// Returns 0 when the name is no setting. Text settings longer than their
// 32-byte targets are refused like any over-long value, rather than cut: a
// cut host name or area code would only fail later and less clearly.
static int applySetting(const char *name, const char *value)
{
    if (strcmp(name, "Xpos") == 0) {
        statusWindowXOffset = atoi(value);
    } else if (strcmp(name, "Ypos") == 0) {
        statusWindowYOffset = atoi(value);
    } else if (strcmp(name, "DisplayDelay") == 0) {
        displayDelay = toTicks(value);
    } else if (strcmp(name, "FritzBox") == 0) {
        if ((int)strlen(value) > TEXT_SETTING_MAX)
            reportValueTooLong();
        else
            copyText(fritzBox, value, sizeof fritzBox);
    } else if (strcmp(name, "StartupConnectDelay") == 0) {
        startupConnectDelay = toTicks(value);
    } else if (strcmp(name, "IncomingDelay") == 0) {
        incomingDelay = toTicks(value);
    } else if (strcmp(name, "ConnectDelay") == 0) {
        connectDelay = toTicks(value);
    } else if (strcmp(name, "CalloutDelay") == 0) {
        calloutDelay = toTicks(value);
    } else if (strcmp(name, "DisconnectDelay") == 0) {
        disconnectDelay = toTicks(value);
    } else if (strcmp(name, "FontColor") == 0) {
        fontColor = toFontColor(value);
    } else if (strcmp(name, "FritzBoxLineNumbering") == 0) {
        setNumberingType(atoi(value));
    } else if (strcmp(name, "AreaCode") == 0) {
        if ((int)strlen(value) > TEXT_SETTING_MAX)
            reportValueTooLong();
        else
            setAreaCode(value);
    } else if (strcmp(name, "MSN") == 0) {
        setMSNs(value);
    } else if (strcmp(name, "ActionKey") == 0) {
        dword key = (dword)atoi(value);
        if (!isReservedKey(key))
            actionKey = key;
    } else {
        return 0;
    }
    return 1;
}

int loadSettings(const char *fileName)
{
    char name[PROP_NAME_SIZE];
    char value[PROP_VALUE_SIZE];

    PropertyFileHandle *file = openPropertyFile(fileName);
    if (file == 0) {
        TAP_Print("ERROR: Failed to open settings file\n");
        displayErrorMessage(MSG_ERR_LOAD_INI, "Fehler beim \326ffnen der konfigurationsdatei");
        return -1;
    }

    for (;;) {
        int result = getNextProperty(name, value, file);
        if (result == PROP_EOF)
            break;
        switch (result) {
        case PROP_OK:
            if (!applySetting(name, value)) {
                TAP_Print("ERROR: Unknown variable name \"%s\" in settings file\n", name);
                reportError();
            }
            break;
        case PROP_NAME_TOO_LONG:
            TAP_Print("ERROR: Variable name to long in settings file\n");
            reportError();
            break;
        case PROP_VALUE_TOO_LONG: reportValueTooLong(); break;
        default:
            TAP_Print("%s in settings file\n", name);
            reportError();
            break;
        }
    }
    closePropertyFile(file);
    return 1;
}
