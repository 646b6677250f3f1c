#include "firmware.h"

#include "network.h"

#include <cstdlib>
#include <ctime>

namespace sim
{

Firmware &firmware()
{
    static Firmware instance;
    return instance;
}

void Firmware::reset(uint32_t heapSize)
{
    journal.clear();
    heap.reset(heapSize);
    disk.reset();
    clock.startVirtual(0, defaultWallStart);
    osd.reset();
    receiver = {};
}

std::vector<std::string> Firmware::leakReport() const
{
    std::vector<std::string> out = heap.leakReport();
    for (auto &line : disk.leakReport())
        out.push_back(line);
    for (int h : osd.regionHandles())
        out.push_back("region " + std::to_string(h) + " never deleted");
    if (heap.badFrees() > 0)
        out.push_back(std::to_string(heap.badFrees()) + " free(s) of blocks that were not allocated");
    for (auto &line : network().leakReport())
        out.push_back(line);
    return out;
}

void pinTimeZone(const char *zone)
{
    setenv("TZ", zone, 1);
    tzset();
}

} // namespace sim
