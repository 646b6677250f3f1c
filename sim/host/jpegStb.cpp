// JPEG decoding with stb_image, for builds without libjpeg (WebAssembly). It
// decodes from memory and never longjmps: a broken file is simply refused.
#include "jpeg.h"

#include <string>
#include <vector>

#include "pictureFit.h"
#include "stbImage.h"

namespace sim
{

namespace
{

// stb_image 2.27 trusts a file's Huffman tables: it fills a table before it
// counts the symbols, so more than 256 write past it, and it decodes a scan
// with a table that no segment defined from memory nobody set. Both are
// refused here first (with the reason; nothing when the tables are sound).
// Markers are found as stb_image finds them (after fill bytes and stray
// bytes, within a scan's data), segments are stepped over by their length as
// stb_image steps over those it accepts, and tables and scan headers are read
// as it reads them, zeros past the end of the file included.
const char *unsoundHuffmanTables(const std::vector<unsigned char> &b)
{
    auto at = [&](size_t i) -> unsigned { return i < b.size() ? b[i] : 0; };
    unsigned defined[2] = {0, 0}; // DC and AC tables, a bit for each of the four slots
    bool progressive = false;
    size_t i = 0;
    while (i < b.size()) {
        if (b[i++] != 0xFF)
            continue;
        while (i < b.size() && b[i] == 0xFF)
            ++i;
        unsigned marker = at(i++);
        // Stuffed zero, TEM, restart, start and end of image: no length.
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9))
            continue;
        size_t length = at(i) << 8 | at(i + 1), body = i + 2;
        progressive = progressive || marker == 0xC2;
        if (marker == 0xC4)
            for (long left = static_cast<long>(length) - 2, table = static_cast<long>(body); left > 0;) {
                unsigned kind = at(static_cast<size_t>(table)), symbols = 0;
                for (int k = 1; k <= 16; ++k)
                    symbols += at(static_cast<size_t>(table + k));
                if (symbols > 256)
                    return "Huffman table too large";
                if (kind >> 4 <= 1 && (kind & 15) <= 3)
                    defined[kind >> 4] |= 1u << (kind & 15);
                table += 17 + symbols;
                left -= 17 + symbols;
            }
        if (marker == 0xDA) {
            // A progressive scan of the first DC bits needs DC tables, one of
            // AC coefficients AC tables; a baseline scan needs both.
            size_t components = at(body);
            unsigned spectralStart = at(body + 1 + 2 * components);
            bool refining = at(body + 3 + 2 * components) >> 4 != 0;
            bool dc = !progressive || (spectralStart == 0 && !refining), ac = !progressive || spectralStart != 0;
            for (size_t c = 0; c < components; ++c) {
                unsigned tables = at(body + 2 + 2 * c);
                if ((dc && !(defined[0] >> (tables >> 4) & 1)) || (ac && !(defined[1] >> (tables & 15) & 1)))
                    return "Huffman table missing";
            }
        }
        i += length; // a scan's data after its header is walked byte by byte
    }
    return nullptr;
}

} // namespace

std::optional<Surface> readJpegWithStb(const std::filesystem::path &file, std::string *error, int, int)
{
    StbRules rules;
    rules.unsound = unsoundHuffmanTables;
    rules.tooLarge = [](int w, int h) {
        return static_cast<long>(w) * h > maxPicturePixels
                   ? "picture too large (" + std::to_string(w) + "x" + std::to_string(h) + ")"
                   : std::string();
    };
    return readWithStb(file, error, rules);
}

} // namespace sim
