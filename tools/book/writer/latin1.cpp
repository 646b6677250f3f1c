// UTF-8 to Latin-1 and back, by hand: the program's text is one byte per character.
#include "writer/latin1.h"

#include <cstdio>

#include "writer/transliteration.h"

namespace book
{

namespace
{

// Length of the UTF-8 sequence starting at `at` and its code point; 0 when the bytes are not valid
// UTF-8 (overlong forms and surrogates included).
std::size_t decode(std::string_view text, std::size_t at, char32_t &codePoint)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    std::size_t length;
    char32_t value;
    char32_t least;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

bool isControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

Latin1Text convert(std::string_view utf8, char32_t last, const char *target)
{
    Latin1Text out;
    std::size_t at = 0;
    while (at < utf8.size()) {
        char32_t c = 0;
        std::size_t length = decode(utf8, at, c);
        if (length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(utf8[at]));
            out.replaced.emplace_back(escaped);
            out.text += '?';
            at += 1;
            continue;
        }
        if (isControl(c)) {
            out.text += ' ';
            out.controls++;
        } else if (c <= last) {
            out.text += static_cast<char>(c);
        } else if (auto written = transliterate(utf8.substr(at, length), target)) {
            out.transliterated.push_back({std::string(utf8.substr(at, length)), *written});
            out.text += *written;
        } else {
            out.replaced.emplace_back(utf8.substr(at, length));
            out.text += '?';
        }
        at += length;
    }
    return out;
}

} // namespace

Latin1Text toLatin1(std::string_view utf8)
{
    return convert(utf8, 0xFF, "ISO-8859-1");
}

Latin1Text toAscii(std::string_view utf8)
{
    return convert(utf8, 0x7F, "ASCII");
}

std::string describe(const std::vector<Transliteration> &transliterated)
{
    std::string out;
    for (const auto &t : transliterated)
        out += (out.empty() ? "" : ", ") + t.character + (t.written.empty() ? " dropped" : " as " + t.written);
    return out;
}

std::string latin1ToUtf8(std::string_view latin1)
{
    std::string out;
    for (char ch : latin1) {
        auto c = static_cast<unsigned char>(ch);
        if (isControl(c)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", c);
            out += escaped;
        } else if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool looksLikeUtf8(std::string_view latin1)
{
    for (std::size_t at = 0; at < latin1.size(); ++at) {
        char32_t c = 0;
        if (static_cast<unsigned char>(latin1[at]) >= 0xC2 && decode(latin1, at, c) > 1)
            return true;
    }
    return false;
}

} // namespace book
