// Glyphs from FreeType: light auto-hinting (vertical only, advances on whole
// pixels) and 8-bit anti-aliasing.
#include "glyphRaster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <stdexcept>
#include <string>

namespace sim
{

namespace
{

constexpr FT_Int32 loadFlags = FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT;

class FreetypeRaster : public GlyphRaster
{
  public:
    explicit FreetypeRaster(const FontSetting &setting)
    {
        if (FT_Init_FreeType(&library_) != 0)
            throw std::runtime_error("FreeType cannot start");
        if (FT_New_Face(library_, setting.file.c_str(), 0, &face_) != 0) {
            FT_Done_FreeType(library_);
            throw std::runtime_error("cannot load the font " + setting.file.string() +
                                     " (Debian packages fonts-dejavu-core and fonts-dejavu-extra)");
        }
        if (FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(setting.pixelSize)) != 0) {
            FT_Done_Face(face_);
            FT_Done_FreeType(library_);
            throw std::runtime_error("the font " + setting.file.string() + " has no size " +
                                     std::to_string(setting.pixelSize));
        }
    }
    ~FreetypeRaster() override
    {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    FreetypeRaster(const FreetypeRaster &) = delete;
    FreetypeRaster &operator=(const FreetypeRaster &) = delete;

    int ascender() const override { return static_cast<int>(face_->size->metrics.ascender >> 6); }
    int descender() const override { return static_cast<int>(-face_->size->metrics.descender >> 6); }

    GlyphBitmap render(char32_t codePoint) const override
    {
        GlyphBitmap g;
        if (FT_Load_Char(face_, codePoint, loadFlags) != 0)
            return g;
        FT_GlyphSlot s = face_->glyph;
        g.left = s->bitmap_left;
        g.top = s->bitmap_top;
        g.width = static_cast<int>(s->bitmap.width);
        g.rows = static_cast<int>(s->bitmap.rows);
        g.advance = s->advance.x;
        g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
        for (int row = 0; row < g.rows; ++row)
            std::copy_n(s->bitmap.buffer + static_cast<ptrdiff_t>(row) * s->bitmap.pitch, g.width,
                        g.coverage.begin() + static_cast<ptrdiff_t>(row) * g.width);
        return g;
    }

  private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

} // namespace

std::unique_ptr<GlyphRaster> openFreetypeRaster(const FontSetting &setting)
{
    return std::make_unique<FreetypeRaster>(setting);
}

} // namespace sim
