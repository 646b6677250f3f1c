// Start-up, event dispatch and tear-down of the program.
#include "shell/ringwatcher.h"

#include "events/fritzbox.h"
#include "platform/keys.h"
#include "platform/libc.h"
#include "shell/keyRouting.h"
#include "shell/routerConnection.h"
#include "shell/settings.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "store/callerlist.h"
#include "version.h"
#include "view/viewBook.h"

int forceExit = 0;

static void reportAddressBook(int result)
{
    switch (result) {
    case ADRBOOK_OPEN_FAILED:
        TAP_Print("Failed to open address book file\n");
        displayErrorMessage(MSG_ERR_LOAD_ADRBOOK, "Fehler beim \326ffnen des Adressbuches");
        break;
    case ADRBOOK_TOO_MANY_ENTRIES:
        TAP_Print("To many entries in address book");
        displayErrorMessage(MSG_ERR_ENTRIES_ADRBOOK, "Zu viele Eintr\344ge im Adressbuch");
        break;
    case ADRBOOK_FILE_ERROR:
        TAP_Print("Error in Addressbook file\n");
        displayErrorMessage(MSG_ERR_IN_ADRBOOK, "Fehler im Adressbuch");
        break;
    case ADRBOOK_NO_MEMORY:
        TAP_Print("Not enough memory available for address book\n");
        displayErrorMessage(MSG_ERR_MEMORY, "Nicht genug Speicher f\374r alle Adressbucheintr\344ge verf\374gbar");
        break;
    default: break;
    }
}

TAP_EXPORT int TAP_Main(void)
{
    TAP_Print("Starting " PROGRAM_NAME "\n");
    FritzBoxMonitor.displayCallback = displayFBMessage;
    FritzBoxMonitor.charCnt = 0;
    FritzBoxMonitor.fieldIndex = 0;
    startTick = TAP_GetTick();
    TAP_Hdd_ChangeDir("/ProgramFiles/Settings/Ringwatcher");
    loadSettings("ringwatcher.ini");
    reportAddressBook(loadAddressBook("addrbook.dat"));
    return 1;
}

void stopTap(void)
{
    if (sockfd >= 0) {
        close(sockfd);
        sockfd = -1;
    }
    if (statusWindow != -1) {
        TAP_Osd_Delete((word)statusWindow);
        statusWindow = -1;
        TAP_Osd_Sync();
    }
    hideBook();
    unloadAddressBook();
    unloadCallerList();
    TAP_Print("TAP STOPPED!!\n");
}

// The status window's timeout; true when the program has ended itself.
static int serviceStatusTimeout(void)
{
    if (statusWindow == -1 || statusTimeout == 0)
        return 0;
    if (!statusTimeoutPassed())
        return 0;
    TAP_Print("EVT_IDLE release rgn-handle: %d\n", statusWindow);
    TAP_Osd_Delete((word)statusWindow);
    TAP_Osd_Sync();
    statusWindow = -1;
    if (forceExit == 1) {
        stopTap();
        TAP_Exit();
        return 1;
    }
    return 0;
}

TAP_EXPORT dword TAP_EventHandler(dword event, dword param1, dword param2)
{
    (void)param2;
    switch (event & 0xFFFF) {
    case EVT_STOP: stopTap(); return param1;
    case EVT_KEY: return routeKey(param1);
    case EVT_IDLE:
        if (!serviceStatusTimeout())
            serviceRouterConnection();
        return param1;
    default: return param1;
    }
}
