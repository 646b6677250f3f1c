// The receiver firmware's interface as the program sees it: the types, the
// event and key codes, and the firmware operations. The operations are
// function-pointer variables that the firmware library defines and exports;
// the loader binds them when it loads the program, so here they are only
// declared. Keep the order of the firmware's table.
#ifndef RINGWATCHER_PLATFORM_TAP_H
#define RINGWATCHER_PLATFORM_TAP_H

typedef unsigned char byte;
typedef unsigned short word;
typedef unsigned int dword;

// Image descriptor of a packed picture: natural C layout, 16 bytes on the
// 32-bit receiver, 24 on a 64-bit PC.
typedef struct {
    word version;     // 1
    byte reserved;    // 0
    byte format;      // OSD_1555: 16-bit ARGB1555
    const byte *data; // compressed pixels
    dword size;       // uncompressed bytes: width * height * 2
    word width;
    word height;
} TYPE_GrData;

#define OSD_1555 2

typedef struct TYPE_File TYPE_File; // opaque firmware file

#if defined(__mips__)
static_assert(sizeof(TYPE_GrData) == 16, "image descriptor must match the receiver's layout");
#endif

// Events: only the low 16 bits of the event argument count.
#define EVT_IDLE 0x0000
#define EVT_KEY 0x0100
#define EVT_STOP 0x0900

// Receiver state in normal viewing.
#define STATE_Normal 0
#define SUBSTATE_Normal 0x1F

#define TAP_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
extern int (*TAP_Osd_Create)(dword x, dword y, dword w, dword h, byte lutIdx, int flag);
extern int (*TAP_Osd_Delete)(word rgn);
extern int (*TAP_Osd_PutGd)(word rgn, int x, int y, const TYPE_GrData *gd, int sprite);
extern int (*TAP_Osd_PutS)(word rgn, dword x, dword y, dword maxX, const char *str, dword fcolor, dword bcolor,
                           byte fntType, byte fntSize, byte bDot, byte align);
extern int (*TAP_Osd_DrawJpeg)(word rgn, dword x, dword y, dword w, dword h, const char *name, dword flag);
extern void (*TAP_Osd_Sync)(void);
extern int (*TAP_Hdd_ChangeDir)(const char *dir);
extern TYPE_File *(*TAP_Hdd_Fopen)(const char *name);
extern void (*TAP_Hdd_Fclose)(TYPE_File *f);
extern dword (*TAP_Hdd_Fread)(void *buf, dword blkSize, dword blkCount, TYPE_File *f);
extern void (*TAP_MemInfo)(dword *heapSize, dword *freeHeapSize, dword *availHeapSize);
extern void *(*TAP_MemAlloc)(dword size);
extern int (*TAP_MemFree)(const void *p);
extern void (*TAP_MemSet)(void *p, byte value, dword n);
extern void (*TAP_MemCpy)(void *dst, const void *src, dword n);
extern dword (*TAP_GetTick)(void);
extern int (*TAP_GetTime)(word *mjd, byte *hour, byte *min, byte *sec);
extern void (*TAP_ExtractMjd)(word mjd, word *year, byte *month, byte *day, byte *weekDay);
extern void (*TAP_GetState)(dword *state, dword *subState);
extern void (*TAP_ExitNormal)(void);
extern void (*TAP_EnterNormal)(void);
extern void (*TAP_Exit)(void);
extern void (*TAP_Print)(const char *fmt, ...);
extern int (*TAP_SPrint)(char *buf, const char *fmt, ...);
extern void (*TAP_Sleep)(dword ticks);
}

#endif
