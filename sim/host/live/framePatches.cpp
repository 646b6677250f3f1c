#include "framePatches.h"

#include <algorithm>
#include <cstring>

#include "pngFile.h"

namespace sim
{

Box changedBox(const Surface &before, const Surface &now)
{
    if (before.width != now.width || before.height != now.height)
        return {0, 0, now.width, now.height};
    const size_t rowBytes = static_cast<size_t>(now.width) * sizeof(uint32_t);
    auto row = [&](const Surface &s, int y) { return s.pixels.data() + static_cast<size_t>(y) * s.width; };
    int top = 0;
    while (top < now.height && std::memcmp(row(before, top), row(now, top), rowBytes) == 0)
        ++top;
    if (top == now.height)
        return {};
    int bottom = now.height - 1;
    while (std::memcmp(row(before, bottom), row(now, bottom), rowBytes) == 0)
        --bottom;
    int left = now.width, right = -1;
    for (int y = top; y <= bottom; ++y) {
        const uint32_t *a = row(before, y), *b = row(now, y);
        for (int x = 0; x < left; ++x)
            if (a[x] != b[x]) {
                left = x;
                break;
            }
        for (int x = now.width - 1; x > right; --x)
            if (a[x] != b[x]) {
                right = x;
                break;
            }
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

namespace
{

Surface crop(const Surface &s, const Box &box)
{
    Surface out;
    out.width = box.w;
    out.height = box.h;
    out.pixels.resize(static_cast<size_t>(box.w) * box.h);
    for (int y = 0; y < box.h; ++y)
        std::memcpy(out.pixels.data() + static_cast<size_t>(y) * box.w,
                    s.pixels.data() + static_cast<size_t>(box.y + y) * s.width + box.x, box.w * sizeof(uint32_t));
    return out;
}

} // namespace

std::string base64(const std::vector<unsigned char> &bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        out += digits[v >> 18];
        out += digits[v >> 12 & 63];
        out += digits[v >> 6 & 63];
        out += digits[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = bytes[i] << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        out += digits[v >> 18];
        out += digits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string sseEvent(const char *name, const std::string &data)
{
    return std::string("event: ") + name + "\ndata: " + data + "\n\n";
}

std::string frameEvent(uint64_t number, const Box &box, const std::vector<unsigned char> &png)
{
    return sseEvent("frame", std::to_string(number) + " " + std::to_string(box.x) + " " + std::to_string(box.y) + " " +
                                 std::to_string(box.w) + " " + std::to_string(box.h) + " " + base64(png));
}

std::string FramePatches::encode(const Surface &frame, uint64_t number, bool &whole) const
{
    Box box = changedBox(encoded_, frame);
    whole = box.w == frame.width && box.h == frame.height;
    if (box.w == 0)
        return "";
    return frameEvent(number, box, encodePngQuickly(whole ? frame : crop(frame, box)));
}

void FramePatches::commit(Surface frame, uint64_t number, bool whole, std::string event)
{
    patches_.push_back({number, encodedNumber_, whole, std::move(event)});
    if (patches_.size() > kept)
        patches_.pop_front();
    encoded_ = std::move(frame);
    encodedNumber_ = number;
}

bool FramePatches::since(uint64_t from, std::string &events) const
{
    // The shortest run of patches that brings this viewer up to date.
    auto start =
        std::find_if(patches_.rbegin(), patches_.rend(), [&](const Patch &p) { return p.whole || p.base == from; });
    if (start == patches_.rend())
        return false;
    for (auto p = start.base() - 1; p != patches_.end(); ++p)
        events += p->event;
    return true;
}

void FramePatches::keepWhole(uint64_t number, std::string event, std::vector<unsigned char> png)
{
    // Another viewer may have been quicker, with this frame or a later one.
    if (wholeNumber_ != UINT64_MAX && wholeNumber_ >= number)
        return;
    wholeNumber_ = number;
    wholeEvent_ = std::move(event);
    wholePng_ = std::move(png);
}

} // namespace sim
