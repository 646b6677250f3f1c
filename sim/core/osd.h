// The on-screen display: full-screen regions of ARGB pixels, composed in
// creation order over the TV picture when the program synchronises. Text
// and JPEG drawing are plugged in by the PC front end (FreeType,
// libjpeg-turbo); without them the calls are only journaled, which is all
// the receiver build of the simulator needs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/tap.h"

namespace sim
{

constexpr int screenWidth = 720;
constexpr int screenHeight = 576;

struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0xAARRGGBB
    uint32_t &at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct TextStyle {
    uint32_t color;
    uint32_t background; // 0: no fill
    uint8_t fontType;
    uint8_t fontSize;
    bool dot;      // end a text too wide for its room in "..."
    uint8_t align; // 0 left, 1 centre, 2 right, between x and maxX
};

using TextRenderer = std::function<void(Surface &, int x, int y, int maxX, std::string_view latin1, const TextStyle &)>;
// Decodes a JPEG file into an opaque picture fitted into w x h (keeping its
// aspect, centred); false when the file is missing or not a JPEG.
using JpegDecoder = std::function<bool(const std::filesystem::path &, int w, int h, Surface &out)>;

class Osd
{
  public:
    void reset();
    int create(int x, int y, int w, int h);
    bool remove(int handle);
    bool exists(int handle) const { return regions_.count(handle) != 0; }
    size_t regionCount() const { return regions_.size(); }
    std::vector<int> regionHandles() const;

    int putImage(int handle, int x, int y, const TYPE_GrData *gd, bool sprite, std::string *error);
    int putText(int handle, int x, int y, int maxX, std::string_view text, const TextStyle &style);
    int drawJpeg(int handle, int x, int y, int w, int h, const std::filesystem::path &file);
    void sync();

    const Surface *region(int handle) const;
    // The frame as of the last sync, composed when first asked for.
    const Surface &frame() const;
    uint64_t frameNumber() const { return frameNumber_; }

    // Without pixels the regions are only bookkept and every drawing is
    // checked but not painted: fuzzers and benchmarks do not look at frames.
    void setPixels(bool on) { pixels_ = on; }

    void setTvPicture(Surface picture);
    void setTextRenderer(TextRenderer r) { textRenderer_ = std::move(r); }
    void setJpegDecoder(JpegDecoder d) { jpegDecoder_ = std::move(d); }
    void onFrame(std::function<void(const Surface &, uint64_t)> listener) { frameListener_ = std::move(listener); }

    static Surface testPicture();

    // The texts on screen as drawn, region by region in creation order
    // (Latin-1): what a viewer reads. A text drawn where another one started
    // replaces it, and so does an image drawn over its start.
    std::vector<std::string> texts() const;
    // The texts of the region removed last: what the program showed before
    // it took it away (its last message, when it ended itself).
    const std::vector<std::string> &lastRemovedTexts() const { return lastRemovedTexts_; }
    // Changes whenever the texts may have.
    uint64_t textsVersion() const { return textsVersion_; }

    // Drawing the program asked for that no firmware would carry out:
    // into a handle that is no region (never created, or already deleted),
    // or reaching past a region's edges. Kept in the order they happened,
    // the first few in full and the rest counted.
    const std::vector<std::string> &misuses() const { return misuses_; }
    uint64_t misuseCount() const { return misuseCount_; }

  private:
    void misuse(std::string what);
    std::vector<std::string> misuses_;
    uint64_t misuseCount_ = 0;
    struct PlacedText {
        int x, y;
        std::string latin1;
    };
    struct Region {
        uint64_t order;
        int x, y;
        std::vector<PlacedText> texts;
        // Shared with the last published frame until the next drawing
        // changes it, so that a sync copies nothing.
        std::shared_ptr<Surface> surface;
        Surface &writable();
    };
    std::map<int, Region> regions_;
    std::vector<std::string> lastRemovedTexts_;
    uint64_t textsVersion_ = 0;
    bool pixels_ = true;
    // Decoded pictures by their packed data: the program's images are
    // constant, and a message draws a dozen of them.
    std::map<std::tuple<const byte *, int, int>, std::vector<uint16_t>> decoded_;
    uint64_t nextOrder_ = 0;
    Surface tv_ = testPicture();
    void compose() const;
    mutable Surface frame_;
    mutable bool frameStale_ = true;
    uint64_t frameNumber_ = 0;
    std::vector<std::pair<int, Region>> syncedRegions_; // what the last sync published
    TextRenderer textRenderer_;
    JpegDecoder jpegDecoder_;
    std::function<void(const Surface &, uint64_t)> frameListener_;
};

} // namespace sim
