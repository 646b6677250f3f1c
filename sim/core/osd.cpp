#include "osd.h"

#include <algorithm>

#include "imageCodec.h"

namespace sim
{

void Osd::reset()
{
    regions_.clear();
    lastRemovedTexts_.clear();
    ++textsVersion_;
    nextOrder_ = 0;
    frame_ = {};
    frameStale_ = true;
    syncedRegions_.clear();
    frameNumber_ = 0;
    misuses_.clear();
    misuseCount_ = 0;
}

void Osd::misuse(std::string what)
{
    if (misuseCount_++ < 20)
        misuses_.push_back(std::move(what));
}

namespace
{
std::string box(int handle, int x, int y, int w, int h)
{
    return "region " + std::to_string(handle) + " at (" + std::to_string(x) + "," + std::to_string(y) + ") size " +
           std::to_string(w) + "x" + std::to_string(h);
}
} // namespace

Surface &Osd::Region::writable()
{
    if (surface.use_count() > 1)
        surface = std::make_shared<Surface>(*surface);
    return *surface;
}

int Osd::create(int x, int y, int w, int h)
{
    if (w <= 0 || h <= 0 || w > screenWidth || h > screenHeight)
        return -1;
    // The lowest free handle, as the firmware hands them out: the program
    // passes only their low 16 bits on, so they must stay small.
    int handle = 1;
    while (regions_.count(handle))
        ++handle;
    Region r{
        nextOrder_++,
        x,
        y,
        {},
        std::make_shared<Surface>(Surface{w, h, std::vector<uint32_t>(pixels_ ? static_cast<size_t>(w) * h : 0, 0)})};
    regions_.emplace(handle, std::move(r));
    return handle;
}

bool Osd::remove(int handle)
{
    auto it = regions_.find(handle);
    if (it != regions_.end()) {
        if (!it->second.texts.empty()) {
            lastRemovedTexts_.clear();
            for (const PlacedText &t : it->second.texts)
                lastRemovedTexts_.push_back(t.latin1);
            ++textsVersion_;
        }
        regions_.erase(it);
        return true;
    }
    misuse("delete of region " + std::to_string(handle) + ", which does not exist");
    return false;
}

std::vector<std::string> Osd::texts() const
{
    std::vector<const Region *> inOrder;
    for (const auto &[h, r] : regions_)
        inOrder.push_back(&r);
    std::sort(inOrder.begin(), inOrder.end(), [](const Region *a, const Region *b) { return a->order < b->order; });
    std::vector<std::string> out;
    for (const Region *r : inOrder)
        for (const PlacedText &t : r->texts)
            if (std::find(out.begin(), out.end(), t.latin1) == out.end())
                out.push_back(t.latin1);
    return out;
}

std::vector<int> Osd::regionHandles() const
{
    std::vector<int> out;
    for (const auto &[h, r] : regions_)
        out.push_back(h);
    return out;
}

const Surface *Osd::region(int handle) const
{
    auto it = regions_.find(handle);
    return it == regions_.end() ? nullptr : it->second.surface.get();
}

int Osd::putImage(int handle, int x, int y, const TYPE_GrData *gd, bool sprite, std::string *error)
{
    auto it = regions_.find(handle);
    if (it == regions_.end()) {
        *error = "no such region";
        misuse("image drawn into " + box(handle, x, y, gd ? gd->width : 0, gd ? gd->height : 0) +
               ", which does not exist");
        return -1;
    }
    if (!gd || gd->version != 1 || gd->format != OSD_1555 || !gd->data ||
        gd->size != static_cast<dword>(gd->width) * gd->height * 2) {
        *error = "bad image descriptor";
        return -1;
    }
    auto key = std::make_tuple(gd->data, static_cast<int>(gd->width), static_cast<int>(gd->height));
    auto cached = decoded_.find(key);
    if (cached == decoded_.end()) {
        std::vector<uint16_t> fresh;
        // The descriptor does not carry the packed length; the stream ends
        // itself once width x height pixels are out, and never needs more.
        size_t bound = maxPackedSize(gd->width, gd->height);
        size_t used = 0;
        if (!decodeImage(std::span<const uint8_t>(gd->data, bound), gd->width, gd->height, fresh, error, &used))
            return -1;
        cached = decoded_.emplace(key, std::move(fresh)).first;
    }
    const Surface &target = *it->second.surface;
    if (x < 0 || y < 0 || x + gd->width > target.width || y + gd->height > target.height)
        misuse("image past the edge: " + box(handle, x, y, gd->width, gd->height));
    auto &texts = it->second.texts;
    auto covered = std::remove_if(texts.begin(), texts.end(), [&](const PlacedText &t) {
        return t.x >= x && t.x < x + gd->width && t.y >= y && t.y < y + gd->height;
    });
    if (covered != texts.end()) {
        texts.erase(covered, texts.end());
        ++textsVersion_;
    }
    const std::vector<uint16_t> &pixels = cached->second;
    if (it->second.surface->pixels.empty())
        return 0;
    Surface &s = it->second.writable();
    for (int row = 0; row < gd->height; ++row) {
        int ty = y + row;
        if (ty < 0 || ty >= s.height)
            continue;
        for (int col = 0; col < gd->width; ++col) {
            int tx = x + col;
            if (tx < 0 || tx >= s.width)
                continue;
            uint16_t p = pixels[static_cast<size_t>(row) * gd->width + col];
            if (sprite && !(p & 0x8000))
                continue;
            s.at(tx, ty) = argb1555ToArgb(p);
        }
    }
    return 0;
}

int Osd::putText(int handle, int x, int y, int maxX, std::string_view text, const TextStyle &style)
{
    auto it = regions_.find(handle);
    if (it == regions_.end()) {
        misuse("text drawn into region " + std::to_string(handle) + ", which does not exist");
        return -1;
    }
    const Surface &target = *it->second.surface;
    if (x < 0 || y < 0 || x > maxX || maxX > target.width || y >= target.height)
        misuse("text past the edge: region " + std::to_string(handle) + " from (" + std::to_string(x) + "," +
               std::to_string(y) + ") to x " + std::to_string(maxX));
    if (textRenderer_ && !it->second.surface->pixels.empty())
        textRenderer_(it->second.writable(), x, y, maxX, text, style);
    auto &texts = it->second.texts;
    auto same = std::find_if(texts.begin(), texts.end(), [&](const PlacedText &t) { return t.x == x && t.y == y; });
    if (same != texts.end())
        same->latin1 = text;
    else if (texts.size() < 256)
        texts.push_back({x, y, std::string(text)});
    ++textsVersion_;
    return 0;
}

int Osd::drawJpeg(int handle, int x, int y, int w, int h, const std::filesystem::path &file)
{
    auto it = regions_.find(handle);
    if (it == regions_.end()) {
        misuse("picture drawn into " + box(handle, x, y, w, h) + ", which does not exist");
        return -1;
    }
    const Surface &target = *it->second.surface;
    if (w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > target.width || y + h > target.height)
        misuse("picture box past the edge: " + box(handle, x, y, w, h));
    if (w <= 0 || h <= 0)
        return -1;
    if (!jpegDecoder_)
        return 0;
    Surface picture;
    if (!jpegDecoder_(file, w, h, picture))
        return -1;
    if (it->second.surface->pixels.empty())
        return 0;
    Surface &s = it->second.writable();
    for (int row = 0; row < picture.height && row < h; ++row)
        for (int col = 0; col < picture.width && col < w; ++col) {
            int tx = x + col, ty = y + row;
            if (tx >= 0 && ty >= 0 && tx < s.width && ty < s.height)
                s.at(tx, ty) = picture.at(col, row);
        }
    return 0;
}

static uint32_t blend(uint32_t dst, uint32_t src)
{
    uint32_t a = src >> 24;
    if (a == 0xFF)
        return src;
    if (a == 0)
        return dst;
    auto mix = [a](uint32_t d, uint32_t s) { return (s * a + d * (255 - a) + 127) / 255; };
    uint32_t r = mix((dst >> 16) & 0xFF, (src >> 16) & 0xFF);
    uint32_t g = mix((dst >> 8) & 0xFF, (src >> 8) & 0xFF);
    uint32_t b = mix(dst & 0xFF, src & 0xFF);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

void Osd::sync()
{
    // Keep what is published now; composing waits until someone looks, so
    // that a program syncing on every idle event stays cheap.
    syncedRegions_.clear();
    for (const auto &[h, r] : regions_)
        syncedRegions_.emplace_back(h, r);
    frameStale_ = true;
    ++frameNumber_;
    if (frameListener_)
        frameListener_(frame(), frameNumber_);
}

const Surface &Osd::frame() const
{
    if (frameStale_)
        compose();
    return frame_;
}

void Osd::compose() const
{
    frame_ = tv_;
    std::vector<const Region *> order;
    for (const auto &[h, r] : syncedRegions_)
        order.push_back(&r);
    std::sort(order.begin(), order.end(), [](auto *a, auto *b) { return a->order < b->order; });
    for (const Region *r : order) {
        const Surface &s = *r->surface;
        if (s.pixels.empty())
            continue;
        // Only the part on the screen; a region is mostly transparent, and
        // those pixels leave what is below as it is.
        int left = std::max(0, -r->x), top = std::max(0, -r->y);
        int right = std::min(s.width, frame_.width - r->x), bottom = std::min(s.height, frame_.height - r->y);
        for (int row = top; row < bottom; ++row) {
            const uint32_t *from = s.pixels.data() + static_cast<size_t>(row) * s.width;
            uint32_t *to = frame_.pixels.data() + static_cast<size_t>(r->y + row) * frame_.width + r->x;
            for (int col = left; col < right; ++col)
                if (from[col] >> 24 != 0)
                    to[col] = blend(to[col], from[col]);
        }
    }
    frameStale_ = false;
}

void Osd::setTvPicture(Surface picture)
{
    if (picture.width == screenWidth && picture.height == screenHeight) {
        tv_ = std::move(picture);
        frameStale_ = true;
    }
}

Surface Osd::testPicture()
{
    // Colour bars over a grey ramp: easy to tell the overlay's edges and
    // transparency from the picture behind it.
    static const uint32_t bars[] = {0xFFC0C0C0, 0xFFC0C000, 0xFF00C0C0, 0xFF00C000, 0xFFC000C0, 0xFFC00000, 0xFF0000C0};
    Surface s{screenWidth, screenHeight, std::vector<uint32_t>(screenWidth * screenHeight)};
    for (int y = 0; y < screenHeight; ++y)
        for (int x = 0; x < screenWidth; ++x) {
            if (y < screenHeight * 3 / 4) {
                s.at(x, y) = bars[x * 7 / screenWidth];
            } else {
                uint32_t v = static_cast<uint32_t>(x * 255 / (screenWidth - 1));
                s.at(x, y) = 0xFF000000u | (v << 16) | (v << 8) | v;
            }
        }
    return s;
}

} // namespace sim
