// Arbitrary bytes as packed image data: the decoder must reject or decode,
// never read or write outside its buffers.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imageCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the image size, up to 64 x 64.
    uint32_t width = 1 + data[0] % 64;
    uint32_t height = 1 + data[1] % 64;
    std::span<const uint8_t> packed(data + 2, size - 2);
    std::vector<uint16_t> pixels;
    size_t used = 0;
    if (sim::decodeImage(packed, width, height, pixels, nullptr, &used)) {
        if (pixels.size() != size_t{width} * height || used > packed.size())
            __builtin_trap();
        // What decodes with trailing bytes allowed decodes exactly on its own.
        std::vector<uint16_t> again;
        if (!sim::decodeImage(packed.first(used), width, height, again) || again != pixels)
            __builtin_trap();
    }
    return 0;
}
