// What the receiver's loader reads and calls first: the identification
// sections of the program file and the entry-point registration.
#include "platform/tap.h"
#include "version.h"

#define TAP_ID_SECTION(name) __attribute__((section(name), used, visibility("default")))

extern "C" TAP_ID_SECTION("._tap_etcinfo") const char __tap_etc_str__[64] = __DATE__;
extern "C" TAP_ID_SECTION("._tap_description") const char __tap_description__[128] = "Ringwatcher for Fritzbox";
extern "C" TAP_ID_SECTION("._tap_author_name") const char __tap_author_name__[64] = "Ringwatcher developers";
extern "C" TAP_ID_SECTION("._tap_program_name") const char __tap_program_name__[64] = PROGRAM_NAME;
extern "C" TAP_ID_SECTION("._tap_id") const dword __tap_ud__ = 0x8E210912;
// The loader checks the signature; 0x10 is its own value, stored little-endian.
extern "C" TAP_ID_SECTION("._tap_header") const byte __tap_Header__[32] = {'T', 'F', 'A',  'P', 'M', 'I',
                                                                           'P', 'S', 0x10, 0,   0,   0};

TAP_EXPORT int TAP_Main(void);
TAP_EXPORT dword TAP_EventHandler(dword event, dword param1, dword param2);

// The record has two slots: the main entry, then the event entry.
TAP_EXPORT int __TAP_Init_(void *record)
{
    void **slots = (void **)record;
    slots[0] = (void *)&TAP_Main;
    slots[1] = (void *)&TAP_EventHandler;
    return 0;
}
