// Glyphs from stb_truetype, for builds without FreeType (WebAssembly). Its
// metrics follow FreeType's at the same pixel size: the em square is the
// pixel size, ascender and descender are rounded outwards, advances to whole
// pixels as FreeType's light hinting leaves them, so lines are as long and sit
// as high as on the PC. The outlines are not hinted, so stems are a little
// softer.
#include "glyphRaster.h"

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>

#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb_truetype.h>
#pragma GCC diagnostic pop

namespace sim
{

namespace
{

unsigned bigEndian(const std::vector<unsigned char> &b, size_t at, int bytes)
{
    unsigned v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | b[at + i];
    return v;
}

// stb_truetype trusts the offsets in a font file; a cut or foreign file is
// refused here rather than read beyond its end.
bool tablesInside(const std::vector<unsigned char> &font, int offset)
{
    size_t at = static_cast<size_t>(offset);
    if (offset < 0 || font.size() < at + 12)
        return false;
    size_t tables = bigEndian(font, at + 4, 2);
    if (tables == 0 || font.size() < at + 12 + 16 * tables)
        return false;
    for (size_t i = 0; i < tables; ++i) {
        size_t entry = at + 12 + 16 * i;
        size_t start = bigEndian(font, entry + 8, 4), length = bigEndian(font, entry + 12, 4);
        if (start > font.size() || length > font.size() - start)
            return false;
    }
    return true;
}

class StbRaster : public GlyphRaster
{
  public:
    explicit StbRaster(const FontSetting &setting)
    {
        // Read in blocks: a folder sets badbit here, where a stream iterator would throw.
        std::ifstream in(setting.file, std::ios::binary);
        char block[1 << 16];
        while (in.read(block, sizeof block) || in.gcount() > 0)
            font_.insert(font_.end(), block, block + in.gcount());
        int offset = font_.size() >= 16 ? stbtt_GetFontOffsetForIndex(font_.data(), 0) : -1;
        if (in.bad() || !in.eof() || !tablesInside(font_, offset) || stbtt_InitFont(&info_, font_.data(), offset) == 0)
            throw std::runtime_error("cannot load the font " + setting.file.string() +
                                     " (Debian packages fonts-dejavu-core and fonts-dejavu-extra)");
        if (setting.pixelSize <= 0)
            throw std::runtime_error("the font " + setting.file.string() + " has no size " +
                                     std::to_string(setting.pixelSize));
        scale_ = stbtt_ScaleForMappingEmToPixels(&info_, static_cast<float>(setting.pixelSize));
        int ascent = 0, descent = 0, lineGap = 0;
        stbtt_GetFontVMetrics(&info_, &ascent, &descent, &lineGap);
        ascender_ = static_cast<int>(std::ceil(ascent * scale_));
        descender_ = static_cast<int>(std::ceil(-descent * scale_));
    }

    int ascender() const override { return ascender_; }
    int descender() const override { return descender_; }

    GlyphBitmap render(char32_t codePoint) const override
    {
        GlyphBitmap g;
        // Glyph 0 is the font's missing-glyph box, as FreeType draws it.
        int glyph = stbtt_FindGlyphIndex(&info_, static_cast<int>(codePoint));
        int advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(&info_, glyph, &advance, &bearing);
        g.advance = std::lround(advance * scale_) * 64;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        stbtt_GetGlyphBitmapBox(&info_, glyph, scale_, scale_, &x0, &y0, &x1, &y1);
        if (x1 <= x0 || y1 <= y0)
            return g; // a blank
        g.left = x0;
        g.top = -y0;
        g.width = x1 - x0;
        g.rows = y1 - y0;
        g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
        stbtt_MakeGlyphBitmap(&info_, g.coverage.data(), g.width, g.rows, g.width, scale_, scale_, glyph);
        return g;
    }

  private:
    std::vector<unsigned char> font_; // stb_truetype reads from it for as long as the font is open
    stbtt_fontinfo info_{};
    float scale_ = 0;
    int ascender_ = 0, descender_ = 0;
};

} // namespace

std::unique_ptr<GlyphRaster> openStbRaster(const FontSetting &setting)
{
    return std::make_unique<StbRaster>(setting);
}

} // namespace sim
