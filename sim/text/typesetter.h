// The firmware's text drawing on the PC: Latin-1 texts set from fixed font
// files, with fixed hinting and anti-aliasing so that the same text gives the
// same pixels on every machine with the same Debian packages. The glyphs come
// from the build's GlyphRaster (FreeType, or stb_truetype in the WebAssembly
// build); the layout here is the same for both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "glyphRaster.h"
#include "osd.h"

namespace sim
{

// Font size 0 sets the tab captions (one line on a 25-pixel header); font size
// 1 sets everything else, including the book's rows 30 pixels apart and its
// date column ("24.12.2009 18:30" in 126 pixels). Condensed faces keep the
// glyphs large within those widths.
inline constexpr const char *fontFolder = "/usr/share/fonts/truetype/dejavu";
FontSetting defaultFont(int fontSize);

class Typesetter
{
  public:
    // Throws std::runtime_error when a font file cannot be loaded. `open`
    // picks the glyph library; the default is the build's.
    explicit Typesetter(std::vector<FontSetting> sizes = {defaultFont(0), defaultFont(1)},
                        RasterOpener open = openGlyphRaster);
    ~Typesetter();
    Typesetter(const Typesetter &) = delete;
    Typesetter &operator=(const Typesetter &) = delete;

    // Font sizes beyond the table use its last entry.
    int lineHeight(int fontSize) const;
    // Advance width of the text in pixels, as draw() would lay it out.
    int width(std::string_view latin1, int fontSize) const;
    int width(std::u32string_view codePoints, int fontSize) const;
    // The text as it fits into `room` pixels: unchanged when it fits, else
    // cut and ended in an ellipsis (U+2026) so that it fits. Returned as code
    // points, since the ellipsis is not a Latin-1 character.
    std::u32string fitted(std::string_view latin1, int fontSize, int room) const;

    // TAP_Osd_PutS: the text box is [x, maxX) x [y, y + lineHeight). A
    // background other than 0 fills the box; alignment 0/1/2 puts the text at
    // the left, centre or right of the box; a text too wide for the box ends
    // in an ellipsis with the dot flag and is cut off at maxX without it.
    // Nothing is ever drawn outside the box or the surface.
    void draw(Surface &surface, int x, int y, int maxX, std::string_view latin1, const TextStyle &style) const;

    // A TextRenderer for Osd::setTextRenderer that uses this typesetter.
    TextRenderer renderer() const;

  private:
    struct Face;

    const Face &face(int fontSize) const;
    const GlyphBitmap &glyph(const Face &f, char32_t codePoint) const;
    int widthOf(const Face &f, std::u32string_view text) const;

    std::vector<std::unique_ptr<Face>> faces_;
};

// Porter-Duff "over" of one ARGB colour, with its alpha scaled by `coverage`
// (0..255), onto a pixel that may itself be transparent.
uint32_t blendOver(uint32_t dst, uint32_t color, unsigned coverage);

} // namespace sim
