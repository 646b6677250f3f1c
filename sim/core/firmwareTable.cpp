// The firmware operations the program imports, defined and exported under
// their firmware names. Each one journals what it was asked and acts on the
// simulated receiver.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>

#include "firmware.h"

namespace
{

using sim::firmware;

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

} // namespace

#ifdef __EMSCRIPTEN__
// The browser build has no dynamic symbols: its table of the program's image
// descriptors is made from the program's image list when it is built.
const char *linkedImageName(const TYPE_GrData *gd);
#endif

namespace
{

// The program exports its image descriptors, so the journal can name them.
std::string imageName(const TYPE_GrData *gd)
{
#ifdef __EMSCRIPTEN__
    if (const char *name = gd ? linkedImageName(gd) : nullptr)
        return name;
#else
    Dl_info info;
    if (gd && dladdr(gd, &info) && info.dli_sname && info.dli_saddr == gd)
        return info.dli_sname;
#endif
    return gd ? format("image %ux%u", gd->width, gd->height) : "no image";
}

int osdCreate(dword x, dword y, dword w, dword h, byte lutIdx, int flag)
{
    int handle =
        firmware().osd.create(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h));
    firmware().journal.call(format("TAP_Osd_Create(%u,%u,%u,%u,%u,%d) = %d", x, y, w, h, lutIdx, flag, handle));
    return handle;
}

int osdDelete(word rgn)
{
    bool ok = firmware().osd.remove(rgn);
    firmware().journal.call(format("TAP_Osd_Delete(%u)%s", rgn, ok ? "" : " = no such region"));
    return ok ? 0 : -1;
}

int osdPutGd(word rgn, int x, int y, const TYPE_GrData *gd, int sprite)
{
    std::string error;
    int result = firmware().osd.putImage(rgn, x, y, gd, sprite != 0, &error);
    if (firmware().journalDrawing || result != 0)
        firmware().journal.call(format("TAP_Osd_PutGd(%u,%d,%d,%s,%d)%s%s", rgn, x, y, imageName(gd).c_str(), sprite,
                                       error.empty() ? "" : " = ", error.c_str()));
    return result;
}

int osdPutS(word rgn, dword x, dword y, dword maxX, const char *str, dword fcolor, dword bcolor, byte fntType,
            byte fntSize, byte bDot, byte align)
{
    std::string text = str ? str : "";
    sim::TextStyle style{fcolor, bcolor, fntType, fntSize, bDot != 0, align};
    int result =
        firmware().osd.putText(rgn, static_cast<int>(x), static_cast<int>(y), static_cast<int>(maxX), text, style);
    if (firmware().journalDrawing)
        firmware().journal.call(format("TAP_Osd_PutS(%u,%u,%u,%u,\"%s\",0x%08X,0x%08X,%u,%u,%u,%u)", rgn, x, y, maxX,
                                       sim::escapeText(text).c_str(), fcolor, bcolor, fntType, fntSize, bDot, align));
    return result;
}

int osdDrawJpeg(word rgn, dword x, dword y, dword w, dword h, const char *name, dword flag)
{
    std::string file = name ? name : "";
    auto path = firmware().disk.hostPath(file);
    int result = firmware().osd.drawJpeg(rgn, static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                                         static_cast<int>(h), path);
    if (firmware().journalDrawing)
        firmware().journal.call(format("TAP_Osd_DrawJpeg(%u,%u,%u,%u,%u,\"%s\",%u) = %d", rgn, x, y, w, h,
                                       firmware().disk.receiverPath(file).c_str(), flag, result));
    return result;
}

void osdSync()
{
    firmware().osd.sync();
    firmware().journal.call("TAP_Osd_Sync()");
}

int hddChangeDir(const char *dir)
{
    bool ok = dir && firmware().disk.changeFolder(dir);
    firmware().journal.call(
        format("TAP_Hdd_ChangeDir(\"%s\")%s", dir ? sim::escapeText(dir).c_str() : "", ok ? "" : " = no such folder"));
    return ok ? 1 : 0;
}

TYPE_File *hddFopen(const char *name)
{
    int handle = name ? firmware().disk.open(name) : 0;
    firmware().journal.call(
        format("TAP_Hdd_Fopen(\"%s\") = %s", name ? sim::escapeText(name).c_str() : "", handle ? "file" : "0"));
    return reinterpret_cast<TYPE_File *>(static_cast<uintptr_t>(handle));
}

void hddFclose(TYPE_File *f)
{
    int handle = static_cast<int>(reinterpret_cast<uintptr_t>(f));
    bool ok = firmware().disk.close(handle);
    firmware().journal.call(ok ? "TAP_Hdd_Fclose()" : "TAP_Hdd_Fclose() = not an open file");
}

dword hddFread(void *buf, dword blkSize, dword blkCount, TYPE_File *f)
{
    int handle = static_cast<int>(reinterpret_cast<uintptr_t>(f));
    return firmware().disk.read(handle, buf, blkSize, blkCount);
}

void memInfo(dword *heapSize, dword *freeHeapSize, dword *availHeapSize)
{
    const sim::Heap &heap = firmware().heap;
    if (heapSize)
        *heapSize = heap.size();
    if (freeHeapSize)
        *freeHeapSize = heap.freeBytes();
    if (availHeapSize)
        *availHeapSize = heap.largestFreeBlock();
}

void *memAlloc(dword size)
{
    return firmware().heap.allocate(size);
}

int memFree(const void *p)
{
    if (firmware().heap.release(p))
        return 1;
    firmware().journal.note("TAP_MemFree of a pointer that is not a heap block");
    return 0;
}

// At the C library's speed: the fuzzers clear and copy a lot.
void memSet(void *p, byte value, dword n)
{
    if (n > 0)
        std::memset(p, value, n);
}

void memCpy(void *dst, const void *src, dword n)
{
    unsigned char *d = static_cast<unsigned char *>(dst);
    const unsigned char *s = static_cast<const unsigned char *>(src);
    // Overlapping areas keep the byte-wise copy from the front.
    if (n > 0 && (d + n <= s || s + n <= d)) {
        std::memcpy(d, s, n);
        return;
    }
    for (dword i = 0; i < n; ++i)
        d[i] = s[i];
}

dword getTick()
{
    return firmware().clock.tick();
}

int getTime(word *mjd, byte *hour, byte *min, byte *sec)
{
    sim::ClockReading r = firmware().clock.reading();
    if (mjd)
        *mjd = r.mjd;
    if (hour)
        *hour = r.hour;
    if (min)
        *min = r.minute;
    if (sec)
        *sec = r.second;
    return 0;
}

void extractMjd(word mjd, word *year, byte *month, byte *day, byte *weekDay)
{
    sim::CalendarDate d = sim::Clock::dateOfMjd(mjd);
    if (year)
        *year = d.year;
    if (month)
        *month = d.month;
    if (day)
        *day = d.day;
    if (weekDay)
        *weekDay = d.weekDay;
}

void getState(dword *state, dword *subState)
{
    if (state)
        *state = firmware().receiver.state;
    if (subState)
        *subState = firmware().receiver.subState;
}

void exitNormal()
{
    auto &r = firmware().receiver;
    ++r.exitNormalCalls;
    r.state = 1; // a program's menu has the screen
    r.subState = 0;
    firmware().journal.call("TAP_ExitNormal()");
}

void enterNormal()
{
    auto &r = firmware().receiver;
    ++r.enterNormalCalls;
    r.state = 0;
    r.subState = 0x1F;
    firmware().journal.call("TAP_EnterNormal()");
}

void tapExit()
{
    firmware().receiver.exitRequested = true;
    firmware().journal.call("TAP_Exit()");
}

void tapPrint(const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    firmware().journal.print(buf);
}

int tapSPrint(char *buf, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsprintf(buf, fmt, ap);
    va_end(ap);
    return n;
}

void tapSleep(dword ticks)
{
    firmware().clock.advance(ticks);
}

} // namespace

#define FIRMWARE_EXPORT __attribute__((visibility("default")))

extern "C" {

FIRMWARE_EXPORT int (*TAP_Osd_Create)(dword, dword, dword, dword, byte, int) = osdCreate;
FIRMWARE_EXPORT int (*TAP_Osd_Delete)(word) = osdDelete;
FIRMWARE_EXPORT int (*TAP_Osd_PutGd)(word, int, int, const TYPE_GrData *, int) = osdPutGd;
FIRMWARE_EXPORT int (*TAP_Osd_PutS)(word, dword, dword, dword, const char *, dword, dword, byte, byte, byte,
                                    byte) = osdPutS;
FIRMWARE_EXPORT int (*TAP_Osd_DrawJpeg)(word, dword, dword, dword, dword, const char *, dword) = osdDrawJpeg;
FIRMWARE_EXPORT void (*TAP_Osd_Sync)(void) = osdSync;
FIRMWARE_EXPORT int (*TAP_Hdd_ChangeDir)(const char *) = hddChangeDir;
FIRMWARE_EXPORT TYPE_File *(*TAP_Hdd_Fopen)(const char *) = hddFopen;
FIRMWARE_EXPORT void (*TAP_Hdd_Fclose)(TYPE_File *) = hddFclose;
FIRMWARE_EXPORT dword (*TAP_Hdd_Fread)(void *, dword, dword, TYPE_File *) = hddFread;
FIRMWARE_EXPORT void (*TAP_MemInfo)(dword *, dword *, dword *) = memInfo;
FIRMWARE_EXPORT void *(*TAP_MemAlloc)(dword) = memAlloc;
FIRMWARE_EXPORT int (*TAP_MemFree)(const void *) = memFree;
FIRMWARE_EXPORT void (*TAP_MemSet)(void *, byte, dword) = memSet;
FIRMWARE_EXPORT void (*TAP_MemCpy)(void *, const void *, dword) = memCpy;
FIRMWARE_EXPORT dword (*TAP_GetTick)(void) = getTick;
FIRMWARE_EXPORT int (*TAP_GetTime)(word *, byte *, byte *, byte *) = getTime;
FIRMWARE_EXPORT void (*TAP_ExtractMjd)(word, word *, byte *, byte *, byte *) = extractMjd;
FIRMWARE_EXPORT void (*TAP_GetState)(dword *, dword *) = getState;
FIRMWARE_EXPORT void (*TAP_ExitNormal)(void) = exitNormal;
FIRMWARE_EXPORT void (*TAP_EnterNormal)(void) = enterNormal;
FIRMWARE_EXPORT void (*TAP_Exit)(void) = tapExit;
FIRMWARE_EXPORT void (*TAP_Print)(const char *, ...) = tapPrint;
FIRMWARE_EXPORT int (*TAP_SPrint)(char *, const char *, ...) = tapSPrint;
FIRMWARE_EXPORT void (*TAP_Sleep)(dword) = tapSleep;
}
