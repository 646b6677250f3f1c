// One font file at one pixel size, turned into anti-aliased glyph bitmaps.
// The typesetter lays out lines on top of this and does not care which
// library draws the glyphs: FreeType on the PC (freetypeRaster.cpp), or
// stb_truetype where FreeType is not at hand (stbRaster.cpp, the WebAssembly
// build).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace sim
{

// One font size of the firmware: a font file at a pixel size (the em square,
// as FreeType's FT_Set_Pixel_Sizes takes it), and the height of the line box
// that a text at y = top occupies.
struct FontSetting {
    std::filesystem::path file;
    int pixelSize;
    int lineHeight;
};

// A glyph as 8-bit coverage, `width` x `rows`, row by row.
struct GlyphBitmap {
    int left = 0, top = 0; // bitmap offset from the pen position on the baseline (top is upwards)
    int width = 0, rows = 0;
    long advance = 0; // 26.6 fixed point
    std::vector<uint8_t> coverage;
};

class GlyphRaster
{
  public:
    virtual ~GlyphRaster() = default;
    // Whole pixels above and below the baseline (both positive), rounded
    // outwards from the font's own figures.
    virtual int ascender() const = 0;
    virtual int descender() const = 0;
    // A code point the font lacks gets its missing-glyph box.
    virtual GlyphBitmap render(char32_t codePoint) const = 0;
};

// Both throw std::runtime_error, naming the file, when it cannot be loaded.
std::unique_ptr<GlyphRaster> openFreetypeRaster(const FontSetting &setting);
std::unique_ptr<GlyphRaster> openStbRaster(const FontSetting &setting);
using RasterOpener = std::unique_ptr<GlyphRaster> (*)(const FontSetting &);

// The raster of this build: FreeType in simtext, stb_truetype in simtext_stb.
std::unique_ptr<GlyphRaster> openGlyphRaster(const FontSetting &setting);

} // namespace sim
