// The smallest program with the receiver program's shape: entry points, identification sections,
// one image, firmware and libc imports. Each FAULT_* switch breaks exactly one loader rule.
#include "tap.h"

#define IDENT(sectionName) TAP_EXPORT __attribute__((section(sectionName), used))

IDENT("._tap_etcinfo")
const char __tap_etc_str__[64] =
#if defined(FAULT_DATE_FORMAT)
    "2026-12-08";
#else
    __DATE__;
#endif
#if !defined(FAULT_MISSING_SECTION)
IDENT("._tap_description") const char __tap_description__[128] = "Ringwatcher for Fritzbox";
#endif
IDENT("._tap_author_name") const char __tap_author_name__[64] = "Fixture Author";
IDENT("._tap_program_name")
const char __tap_program_name__[64] =
#if defined(FAULT_TEXT_PADDING)
    "Ringwatcher 1.2\0stale";
#else
    "Ringwatcher 1.2";
#endif
IDENT("._tap_id") const dword __tap_ud__ = 0x2A17F00D;
IDENT("._tap_header")
const byte __tap_Header__[32] = {
#if defined(FAULT_HEADER_BYTES)
    'T', 'F', 'A', 'P', 'M', 'I', 'P', 'S', 0x11,
#else
    'T', 'F', 'A', 'P', 'M', 'I', 'P', 'S', 0x10,
#endif
};

TAP_EXPORT const byte _barCpm[8] = {1, 2, 3, 4, 5, 6, 7, 8};
TAP_EXPORT const byte _dotCpm[4] = {9, 10, 11, 12};
#if defined(FAULT_DESCRIPTOR_SIZE)
TAP_EXPORT const TYPE_GrData _barGd = {1, 0, OSD_1555, _barCpm, 4 * 3 * 2 + 1, 4, 3};
#elif defined(FAULT_DESCRIPTOR_LAYOUT)
struct __attribute__((packed)) PackedGrData {
    word version;
    byte reserved, format;
    const byte *data;
    dword size;
    word width, height;
};
TAP_EXPORT const PackedGrData _barGdPacked __asm__("_barGd") = {1, 0, OSD_1555, _barCpm, 4 * 3 * 2, 4, 3};
#define _barGd (*static_cast<const TYPE_GrData *>(static_cast<const void *>(&_barGdPacked)))
#else
TAP_EXPORT const TYPE_GrData _barGd = {1, 0, OSD_1555, _barCpm, 4 * 3 * 2, 4, 3};
#endif
#if defined(FAULT_DESCRIPTOR_POINTER)
TAP_EXPORT const TYPE_GrData _dotGd = {1, 0, OSD_1555, _barCpm, 2 * 2 * 2, 2, 2};
#else
TAP_EXPORT const TYPE_GrData _dotGd = {1, 0, OSD_1555, _dotCpm, 2 * 2 * 2, 2, 2};
#endif

extern "C" __SIZE_TYPE__ strlen(const char *text);
#if defined(FAULT_PRINTF)
extern "C" int printf(const char *format, ...);
#endif
#if defined(FAULT_FIRMWARE_CALL)
// Declared as a function, so the call jumps to the firmware's pointer variable itself.
extern "C" void firmwareExit(void) __asm__("TAP_Exit");
#endif

#if defined(FAULT_DEFINES_FIRMWARE)
// A program-side definition silently shadows the firmware's pointer.
void (*TAP_Osd_Sync)(void) = nullptr;
#endif

#if defined(FAULT_STATIC_CONSTRUCTOR)
static dword loadTick = TAP_GetTick();
#else
static dword loadTick;
#endif
static char keyTrail[16];

#if defined(FAULT_THREAD_LOCAL)
static thread_local int eventCount;
#else
static int eventCount;
#endif

#if defined(FAULT_EXTRA_EXPORT)
TAP_EXPORT int countEvents(void)
{
    return eventCount;
}
#endif

#if defined(FAULT_TEXT_RELOCATION)
// Data placed in code needs a load-time fix-up of the code pages.
asm(".text\n.globl textTable\n.hidden textTable\ntextTable:\n"
#if defined(__LP64__)
    ".quad _dotCpm\n"
#else
    ".word _dotCpm\n"
#endif
);
#endif

TAP_EXPORT int TAP_Main(void)
{
    TAP_Print("Starting %s\n", __tap_program_name__);
#if defined(FAULT_PRINTF)
    printf("started %s\n", __tap_program_name__);
#endif
    return 1;
}

#if defined(FAULT_HIDDEN_ENTRY)
extern "C" dword TAP_EventHandler(word event, dword param)
#else
TAP_EXPORT dword TAP_EventHandler(word event, dword param)
#endif
{
    ++eventCount;
    if (event == EVT_KEY) {
        keyTrail[eventCount & 7] = 'k';
        if (strlen(keyTrail) > 4)
            return param;
        int region = TAP_Osd_Create(0, 0, 720, 576, 0, 0);
        TAP_Osd_PutGd(region, 10, 10, param & 1 ? &_barGd : &_dotGd, 0);
        TAP_Osd_Sync();
        return 0;
    }
    if (event == EVT_IDLE && TAP_GetTick() - loadTick > 100)
        TAP_Sleep(1);
#if defined(FAULT_FIRMWARE_CALL)
    if (event == EVT_STOP)
        firmwareExit();
#endif
#if defined(FAULT_WIDE_DIVISION)
    // 64-bit division needs a libgcc helper, which Debian builds for a newer MIPS ISA.
    static unsigned long long totalTicks;
    totalTicks += TAP_GetTick();
    return static_cast<dword>(totalTicks / param);
#endif
    return param;
}

TAP_EXPORT int __TAP_Init_(void **record)
{
    record[0] = reinterpret_cast<void *>(TAP_Main);
    record[1] = reinterpret_cast<void *>(TAP_EventHandler);
    return 0;
}
