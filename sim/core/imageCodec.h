// The firmware's packed-image format for 16-bit ARGB1555 pixels: decoder for
// TAP_Osd_PutGd, encoder for the imagepack tool, and the colour conversions.
//
// Packed data, all multi-byte numbers little-endian:
//
//   offset 0  4 bytes  magic "RWI1"
//   offset 4  u16      width in pixels  (1..4096; must equal the descriptor's)
//   offset 6  u16      height in pixels (1..4096; must equal the descriptor's)
//   offset 8  ops      until exactly width * height pixels have been produced
//
// Pixels are produced row by row, left to right; a run may carry on into the
// next row. Each op starts with a control byte c: kind = c >> 6, and a pixel
// count n from v = c & 0x3F:
//
//   v 0..61   n = v + 1                            (1..62)
//   v 62      n = 63 + next byte                   (63..318)
//   v 63      n = 319 + next u16                   (319..65854)
//
//   kind 0  LITERAL  n pixels follow, 2 bytes each
//   kind 1  FILL     one pixel follows (2 bytes), written n times
//   kind 2  ABOVE    n pixels copied from the row above; not allowed on row 0
//   kind 3  REPEAT   the pixel written last, n more times; not allowed first
//
// The data must end exactly after the op that completes the image: a run past
// the last pixel, a missing byte or a trailing byte makes it invalid (unless
// the caller asks how many bytes the image used, see decodeImage).
// Pixel value: bit 15 opaque, bits 14..10 red, 9..5 green, 4..0 blue.
#ifndef RINGWATCHER_SIM_CORE_IMAGECODEC_H
#define RINGWATCHER_SIM_CORE_IMAGECODEC_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim
{

inline constexpr uint32_t kMaxImageSide = 4096;
inline constexpr size_t kPackedHeaderSize = 8;

// Decodes into `out` (resized to width * height). On any fault returns false,
// leaves `out` empty and, if `error` is given, says what was wrong.
// With `consumed`, the packed data may go on past the image (the firmware
// only has a pointer, not a length): decoding stops after the last pixel and
// says how many bytes it used.
bool decodeImage(std::span<const uint8_t> packed, uint32_t width, uint32_t height, std::vector<uint16_t> &out,
                 std::string *error = nullptr, size_t *consumed = nullptr);

// The most bytes a packed image of this size can take.
size_t maxPackedSize(uint32_t width, uint32_t height);

// Packs width * height pixels (row by row). Returns an empty vector when the
// sizes are out of range or do not match the number of pixels.
std::vector<uint8_t> encodeImage(std::span<const uint16_t> pixels, uint32_t width, uint32_t height);

// 0xAARRGGBB to ARGB1555, each channel rounded to the nearest 5-bit step:
// alpha of 128 and up is opaque; anything more transparent becomes 0x0000 so
// that all transparent pixels pack alike.
uint16_t argbTo1555(uint32_t argb);

// ARGB1555 to 0xAARRGGBB, widening each 5-bit channel to 8 bits.
uint32_t argb1555ToArgb(uint16_t pixel);

} // namespace sim

#endif
