// Packed-image codec: see imageCodec.h for the byte format. The decoder checks
// every count against both the input and the output before touching memory,
// because packed data can come from anywhere (a broken build, a fuzzer).
#include "imageCodec.h"

#include <algorithm>
#include <array>

namespace sim
{
namespace
{

constexpr std::array<uint8_t, 4> kMagic = {'R', 'W', 'I', '1'};

enum Op : uint8_t { kLiteral = 0, kFill = 1, kAbove = 2, kRepeat = 3 };

constexpr size_t kShortCounts = 62;    // v 0..61
constexpr size_t kByteCountBase = 63;  // v 62
constexpr size_t kWordCountBase = 319; // v 63
constexpr size_t kMaxRun = kWordCountBase + 0xFFFF;

class ByteReader
{
  public:
    explicit ByteReader(std::span<const uint8_t> data, size_t pos) : data_(data), pos_(pos) {}

    bool byte(uint8_t &value)
    {
        if (pos_ >= data_.size()) {
            return false;
        }
        value = data_[pos_++];
        return true;
    }

    bool word(uint16_t &value)
    {
        if (data_.size() - pos_ < 2) {
            return false;
        }
        value = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }

    size_t remaining() const { return data_.size() - pos_; }

  private:
    std::span<const uint8_t> data_;
    size_t pos_;
};

bool fail(std::string *error, std::vector<uint16_t> &out, const std::string &why)
{
    out.clear();
    if (error != nullptr) {
        *error = why;
    }
    return false;
}

bool validSize(uint32_t width, uint32_t height)
{
    return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide;
}

void putWord(std::vector<uint8_t> &out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putOp(std::vector<uint8_t> &out, Op kind, size_t count)
{
    const auto tag = static_cast<uint8_t>(kind << 6);
    if (count <= kShortCounts) {
        out.push_back(static_cast<uint8_t>(tag | (count - 1)));
    } else if (count < kWordCountBase) {
        out.push_back(static_cast<uint8_t>(tag | 62));
        out.push_back(static_cast<uint8_t>(count - kByteCountBase));
    } else {
        out.push_back(static_cast<uint8_t>(tag | 63));
        putWord(out, static_cast<uint16_t>(count - kWordCountBase));
    }
}

// Run lengths the encoder chooses among, each cut at `limit`.
struct Runs {
    std::span<const uint16_t> px;
    size_t width;

    size_t same(size_t at, uint16_t value, size_t limit) const
    {
        const size_t end = std::min(px.size(), at + limit);
        size_t pos = at;
        while (pos < end && px[pos] == value) {
            ++pos;
        }
        return pos - at;
    }

    size_t above(size_t at, size_t limit) const
    {
        if (at < width) {
            return 0;
        }
        const size_t end = std::min(px.size(), at + limit);
        size_t pos = at;
        while (pos < end && px[pos] == px[pos - width]) {
            ++pos;
        }
        return pos - at;
    }

    size_t repeat(size_t at, size_t limit) const { return at == 0 ? 0 : same(at, px[at - 1], limit); }

    // A literal run stops where an op of its own saves bytes even after
    // paying for the next literal's control byte.
    bool worthBreaking(size_t at) const { return above(at, 2) == 2 || repeat(at, 2) == 2 || same(at, px[at], 3) == 3; }
};

} // namespace

bool decodeImage(std::span<const uint8_t> packed, uint32_t width, uint32_t height, std::vector<uint16_t> &out,
                 std::string *error, size_t *consumed)
{
    if (!validSize(width, height)) {
        return fail(error, out, "image size out of range");
    }
    if (packed.size() < kPackedHeaderSize) {
        return fail(error, out, "packed data shorter than its header");
    }
    if (!std::equal(kMagic.begin(), kMagic.end(), packed.begin())) {
        return fail(error, out, "packed data has no image header");
    }
    ByteReader in(packed, kMagic.size());
    uint16_t packedWidth = 0;
    uint16_t packedHeight = 0;
    in.word(packedWidth);
    in.word(packedHeight);
    if (packedWidth != width || packedHeight != height) {
        return fail(error, out,
                    "packed image is " + std::to_string(packedWidth) + "x" + std::to_string(packedHeight) +
                        ", expected " + std::to_string(width) + "x" + std::to_string(height));
    }

    const size_t total = size_t{width} * height;
    out.assign(total, 0);
    size_t pos = 0;
    while (pos < total) {
        uint8_t control = 0;
        if (!in.byte(control)) {
            return fail(error, out, "packed data ends after " + std::to_string(pos) + " pixels");
        }
        const auto kind = static_cast<Op>(control >> 6);
        const unsigned v = control & 0x3F;
        size_t count = v + 1;
        if (v == 62) {
            uint8_t extra = 0;
            if (!in.byte(extra)) {
                return fail(error, out, "packed data ends inside a run length");
            }
            count = kByteCountBase + extra;
        } else if (v == 63) {
            uint16_t extra = 0;
            if (!in.word(extra)) {
                return fail(error, out, "packed data ends inside a run length");
            }
            count = kWordCountBase + extra;
        }
        if (count > total - pos) {
            return fail(error, out,
                        "run of " + std::to_string(count) + " pixels at pixel " + std::to_string(pos) +
                            " overruns the image");
        }
        switch (kind) {
        case kLiteral:
            if (in.remaining() / 2 < count) {
                return fail(error, out, "packed data ends inside literal pixels");
            }
            for (size_t i = 0; i < count; ++i) {
                in.word(out[pos + i]);
            }
            break;
        case kFill: {
            uint16_t value = 0;
            if (!in.word(value)) {
                return fail(error, out, "packed data ends before a fill pixel");
            }
            std::fill_n(out.begin() + static_cast<ptrdiff_t>(pos), count, value);
            break;
        }
        case kAbove:
            if (pos < width) {
                return fail(error, out, "copy from the row above on the first row");
            }
            // Sequential on purpose: a run longer than a row reads pixels it
            // has just written.
            for (size_t i = pos; i < pos + count; ++i) {
                out[i] = out[i - width];
            }
            break;
        case kRepeat:
            if (pos == 0) {
                return fail(error, out, "repeat before the first pixel");
            }
            std::fill_n(out.begin() + static_cast<ptrdiff_t>(pos), count, out[pos - 1]);
            break;
        }
        pos += count;
    }
    if (consumed != nullptr) {
        *consumed = packed.size() - in.remaining();
        return true;
    }
    if (in.remaining() != 0) {
        return fail(error, out, std::to_string(in.remaining()) + " bytes left over after the last pixel");
    }
    return true;
}

size_t maxPackedSize(uint32_t width, uint32_t height)
{
    // Worst case: literal runs of one pixel, a control byte and two bytes each.
    return kPackedHeaderSize + size_t{width} * height * 3;
}

std::vector<uint8_t> encodeImage(std::span<const uint16_t> pixels, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> out;
    if (!validSize(width, height) || pixels.size() != size_t{width} * height) {
        return out;
    }
    out.reserve(kPackedHeaderSize + pixels.size() / 2);
    for (uint8_t byte : kMagic) {
        out.push_back(byte);
    }
    putWord(out, static_cast<uint16_t>(width));
    putWord(out, static_cast<uint16_t>(height));

    const Runs runs{pixels, width};
    const size_t total = pixels.size();
    size_t pos = 0;
    while (pos < total) {
        const size_t above = runs.above(pos, kMaxRun);
        const size_t repeat = runs.repeat(pos, kMaxRun);
        if (above > 0 || repeat > 0) {
            // Both cost no pixel bytes; take the longer.
            if (repeat >= above) {
                putOp(out, kRepeat, repeat);
                pos += repeat;
            } else {
                putOp(out, kAbove, above);
                pos += above;
            }
            continue;
        }
        const size_t fill = runs.same(pos, pixels[pos], kMaxRun);
        if (fill >= 2) {
            putOp(out, kFill, fill);
            putWord(out, pixels[pos]);
            pos += fill;
            continue;
        }
        size_t end = pos + 1;
        while (end < total && end - pos < kMaxRun && !runs.worthBreaking(end)) {
            ++end;
        }
        putOp(out, kLiteral, end - pos);
        for (size_t i = pos; i < end; ++i) {
            putWord(out, pixels[i]);
        }
        pos = end;
    }
    return out;
}

uint16_t argbTo1555(uint32_t argb)
{
    if ((argb >> 24) < 0x80) {
        return 0;
    }
    // Rounded, not truncated: art colours that are already exact 5-bit
    // values come back unchanged, and the rest land on the nearest step.
    const auto narrow = [](uint32_t eight) { return (eight * 31 + 127) / 255; };
    const uint32_t red = narrow((argb >> 16) & 0xFF);
    const uint32_t green = narrow((argb >> 8) & 0xFF);
    const uint32_t blue = narrow(argb & 0xFF);
    return static_cast<uint16_t>(0x8000 | (red << 10) | (green << 5) | blue);
}

uint32_t argb1555ToArgb(uint16_t pixel)
{
    const auto widen = [](uint32_t five) { return (five << 3) | (five >> 2); };
    const uint32_t alpha = (pixel & 0x8000) != 0 ? 0xFF : 0x00;
    return (alpha << 24) | (widen((pixel >> 10) & 0x1F) << 16) | (widen((pixel >> 5) & 0x1F) << 8) |
           widen(pixel & 0x1F);
}

} // namespace sim
