// Line layout over the build's glyph raster: glyphs rendered once per font
// size and code point, pens on whole pixels, the line's baseline centred in
// its box.
#include "typesetter.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

namespace sim
{

namespace
{

constexpr char32_t ellipsis = 0x2026;

// Latin-1 bytes are the code points 0 to 255. The C0 and C1 control codes
// have no glyph; they take no room and draw nothing.
bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

std::u32string codePoints(std::string_view latin1)
{
    std::u32string out;
    out.reserve(latin1.size());
    for (unsigned char c : latin1)
        if (!isControl(c))
            out += static_cast<char32_t>(c);
    return out;
}

} // namespace

FontSetting defaultFont(int fontSize)
{
    std::filesystem::path folder = fontFolder;
    if (fontSize == 0)
        return {folder / "DejaVuSansCondensed-Bold.ttf", 16, 22};
    return {folder / "DejaVuSansCondensed.ttf", 15, 19};
}

// simtext_stb compiles this file with RW_TEXT_STB; only that build links
// stb_truetype, only the other one FreeType.
std::unique_ptr<GlyphRaster> openGlyphRaster(const FontSetting &setting)
{
#ifdef RW_TEXT_STB
    return openStbRaster(setting);
#else
    return openFreetypeRaster(setting);
#endif
}

struct Typesetter::Face {
    FontSetting setting;
    std::unique_ptr<GlyphRaster> raster;
    int baseline = 0; // from the top of the line box
    // Latin-1 code points at 0..255, the ellipsis at 256.
    mutable std::array<std::optional<GlyphBitmap>, 257> glyphs;

    Face(FontSetting s, RasterOpener open) : setting(std::move(s)), raster(open(setting))
    {
        int ascender = raster->ascender(), descender = raster->descender();
        baseline = std::max(0, (setting.lineHeight - ascender - descender) / 2) + ascender;
    }
};

Typesetter::Typesetter(std::vector<FontSetting> sizes, RasterOpener open)
{
    if (sizes.empty())
        throw std::runtime_error("no font sizes");
    for (auto &setting : sizes)
        faces_.push_back(std::make_unique<Face>(std::move(setting), open));
}

Typesetter::~Typesetter() = default;

const Typesetter::Face &Typesetter::face(int fontSize) const
{
    size_t i = std::min(static_cast<size_t>(std::max(fontSize, 0)), faces_.size() - 1);
    return *faces_[i];
}

int Typesetter::lineHeight(int fontSize) const
{
    return face(fontSize).setting.lineHeight;
}

const GlyphBitmap &Typesetter::glyph(const Face &f, char32_t codePoint) const
{
    size_t slot = codePoint == ellipsis ? 256 : static_cast<size_t>(codePoint & 0xFF);
    auto &cached = f.glyphs[slot];
    if (!cached)
        cached = f.raster->render(codePoint);
    return *cached;
}

int Typesetter::widthOf(const Face &f, std::u32string_view text) const
{
    long pen = 0;
    for (char32_t c : text)
        pen += glyph(f, c).advance;
    return static_cast<int>((pen + 63) >> 6);
}

int Typesetter::width(std::string_view latin1, int fontSize) const
{
    return widthOf(face(fontSize), codePoints(latin1));
}

int Typesetter::width(std::u32string_view text, int fontSize) const
{
    return widthOf(face(fontSize), text);
}

std::u32string Typesetter::fitted(std::string_view latin1, int fontSize, int room) const
{
    const Face &f = face(fontSize);
    std::u32string text = codePoints(latin1);
    if (widthOf(f, text) <= room)
        return text;
    int dots = widthOf(f, std::u32string(1, ellipsis));
    if (dots > room)
        return {};
    // Longest start that leaves room for the ellipsis; blanks before the
    // ellipsis would only look like a gap.
    long pen = 0, limit = static_cast<long>(room - dots) << 6;
    size_t keep = 0;
    while (keep < text.size() && pen + glyph(f, text[keep]).advance <= limit)
        pen += glyph(f, text[keep++]).advance;
    text.resize(keep);
    while (!text.empty() && text.back() == U' ')
        text.pop_back();
    return text + ellipsis;
}

uint32_t blendOver(uint32_t dst, uint32_t color, unsigned coverage)
{
    unsigned sa = ((color >> 24) * coverage + 127) / 255;
    if (sa == 0)
        return dst;
    if (sa == 255)
        return color | 0xFF000000u;
    unsigned da = dst >> 24;
    unsigned db = (da * (255 - sa) + 127) / 255; // what shows of dst
    unsigned outA = sa + db;
    auto mix = [&](int shift) {
        unsigned s = (color >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
        return ((s * sa + d * db + outA / 2) / outA) << shift;
    };
    return outA << 24 | mix(16) | mix(8) | mix(0);
}

void Typesetter::draw(Surface &surface, int x, int y, int maxX, std::string_view latin1, const TextStyle &style) const
{
    const Face &f = face(style.fontSize);
    if (maxX <= x)
        return;
    int room = maxX - x;
    int top = y, bottom = y + f.setting.lineHeight;
    int clipLeft = std::max(x, 0), clipRight = std::min(maxX, surface.width);
    int clipTop = std::max(top, 0), clipBottom = std::min(bottom, surface.height);
    if (clipLeft >= clipRight || clipTop >= clipBottom)
        return;

    if (style.background != 0)
        for (int py = clipTop; py < clipBottom; ++py)
            for (int px = clipLeft; px < clipRight; ++px)
                surface.at(px, py) = blendOver(surface.at(px, py), style.background, 255);

    std::u32string text = style.dot ? fitted(latin1, style.fontSize, room) : codePoints(latin1);
    int w = widthOf(f, text);
    int start = x;
    if (w <= room && style.align == 1)
        start = x + (room - w) / 2;
    else if (w <= room && style.align == 2)
        start = maxX - w;

    long pen = static_cast<long>(start) << 6;
    int baseline = y + f.baseline;
    for (char32_t c : text) {
        const GlyphBitmap &g = glyph(f, c);
        int gx = static_cast<int>((pen + 32) >> 6) + g.left;
        int gy = baseline - g.top;
        for (int row = 0; row < g.rows; ++row) {
            int py = gy + row;
            if (py < clipTop || py >= clipBottom)
                continue;
            for (int col = 0; col < g.width; ++col) {
                int px = gx + col;
                if (px < clipLeft || px >= clipRight)
                    continue;
                uint8_t cover = g.coverage[static_cast<size_t>(row) * g.width + col];
                if (cover != 0)
                    surface.at(px, py) = blendOver(surface.at(px, py), style.color, cover);
            }
        }
        pen += g.advance;
    }
}

TextRenderer Typesetter::renderer() const
{
    return [this](Surface &s, int x, int y, int maxX, std::string_view text, const TextStyle &style) {
        draw(s, x, y, maxX, text, style);
    };
}

} // namespace sim
