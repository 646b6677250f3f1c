// Reads interface.txt: one declaration per line, '#' starts a comment, double quotes group words.
#include "interface.h"

#include <algorithm>
#include <fnmatch.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tapcheck
{
namespace
{

class LineError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// Splits a line into words; a quoted word keeps its blanks and knows \" \\ and octal \NNN escapes,
// so Latin-1 texts stay ASCII in the file.
std::vector<std::string> splitWords(std::string_view line, std::vector<bool> &quoted)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        std::string word;
        if (c != '"') {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
            words.push_back(word);
            quoted.push_back(false);
            continue;
        }
        ++i;
        bool closed = false;
        while (i < line.size()) {
            char q = line[i++];
            if (q == '"') {
                closed = true;
                break;
            }
            if (q != '\\') {
                word += q;
                continue;
            }
            if (i >= line.size())
                break;
            char e = line[i];
            if (e >= '0' && e <= '7') {
                int value = 0;
                for (int n = 0; n < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++n)
                    value = value * 8 + (line[i++] - '0');
                if (value > 0xFF)
                    throw LineError("octal escape above \\377");
                word += static_cast<char>(value);
            } else if (e == '"' || e == '\\') {
                word += e;
                ++i;
            } else {
                throw LineError(std::string("unknown escape \\") + e);
            }
        }
        if (!closed)
            throw LineError("unterminated quoted text");
        words.push_back(word);
        quoted.push_back(true);
    }
    return words;
}

std::string parseHex(std::string_view digits)
{
    if (digits.empty() || digits.size() % 2 != 0)
        throw LineError("hex content needs an even, non-zero number of digits");
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        auto nibble = [](char c) -> int {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            if (c >= 'A' && c <= 'F')
                return c - 'A' + 10;
            throw LineError(std::string("not a hex digit: ") + c);
        };
        bytes += static_cast<char>(nibble(digits[i]) * 16 + nibble(digits[i + 1]));
    }
    return bytes;
}

std::uint64_t parseSize(const std::string &word)
{
    if (word.empty() || !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw LineError("size must be a decimal number: " + word);
    if (word.size() > 9)
        throw LineError("size too large: " + word);
    return std::stoull(word);
}

IdentObject parseIdent(const std::vector<std::string> &words, const std::vector<bool> &quoted)
{
    if (words.size() != 5)
        throw LineError("ident needs NAME SECTION SIZE CONTENT");
    IdentObject ident{words[1], words[2], parseSize(words[3]), ContentKind::Any, {}};
    const std::string &content = words[4];
    if (quoted[4]) {
        ident.content = ContentKind::ExactText;
        ident.expected = content;
    } else if (content == "date") {
        ident.content = ContentKind::Date;
    } else if (content == "text") {
        ident.content = ContentKind::Text;
    } else if (content == "any") {
        ident.content = ContentKind::Any;
    } else if (content.starts_with("hex:")) {
        ident.content = ContentKind::ExactBytes;
        ident.expected = parseHex(std::string_view(content).substr(4));
    } else {
        throw LineError("unknown content kind: " + content);
    }
    if (ident.size == 0)
        throw LineError("ident size must not be 0");
    // Texts need room for their terminating NUL, bytes only for themselves.
    std::uint64_t room = ident.content == ContentKind::ExactText ? ident.expected.size() + 1 : ident.expected.size();
    if (room > ident.size)
        throw LineError("content longer than the object");
    return ident;
}

ImagePattern parseImage(const std::vector<std::string> &words)
{
    if (words.size() != 3)
        throw LineError("image needs DESCRIPTOR DATA patterns");
    auto split = [](const std::string &pattern, std::string &prefix, std::string &suffix) {
        auto at = pattern.find('%');
        if (at == std::string::npos || pattern.find('%', at + 1) != std::string::npos)
            throw LineError("image pattern needs exactly one %: " + pattern);
        prefix = pattern.substr(0, at);
        suffix = pattern.substr(at + 1);
    };
    ImagePattern image;
    split(words[1], image.descriptorPrefix, image.descriptorSuffix);
    split(words[2], image.dataPrefix, image.dataSuffix);
    return image;
}

void parseLine(Interface &interface, std::string_view line)
{
    std::vector<bool> quoted;
    auto words = splitWords(line, quoted);
    if (words.empty())
        return;
    const std::string &kind = words[0];
    if (kind == "ident") {
        interface.idents.push_back(parseIdent(words, quoted));
        return;
    }
    if (kind == "image") {
        interface.images.push_back(parseImage(words));
        return;
    }
    std::vector<std::string> *list = nullptr;
    if (kind == "entry")
        list = &interface.entries;
    else if (kind == "firmware")
        list = &interface.firmware;
    else if (kind == "libc")
        list = &interface.libc;
    else if (kind == "needed")
        list = &interface.needed;
    else if (kind == "sanitizer")
        list = &interface.sanitizerImports;
    else if (kind == "sanitizer-needed")
        list = &interface.sanitizerNeeded;
    else if (kind == "sanitizer-export")
        list = &interface.sanitizerExports;
    else if (kind == "sanitizer-constructor")
        list = &interface.sanitizerConstructors;
    else
        throw LineError("unknown kind: " + kind);
    if (words.size() != 2)
        throw LineError(kind + " takes exactly one name");
    if (std::find(list->begin(), list->end(), words[1]) != list->end())
        throw LineError(kind + " " + words[1] + " listed twice");
    list->push_back(words[1]);
}

} // namespace

bool Interface::isEntry(std::string_view name) const
{
    return std::find(entries.begin(), entries.end(), name) != entries.end();
}

const IdentObject *Interface::ident(std::string_view name) const
{
    auto it = std::find_if(idents.begin(), idents.end(), [&](const IdentObject &i) { return i.symbol == name; });
    return it == idents.end() ? nullptr : &*it;
}

bool Interface::isFirmware(std::string_view name) const
{
    return std::find(firmware.begin(), firmware.end(), name) != firmware.end();
}

bool Interface::isLibc(std::string_view name) const
{
    return std::find(libc.begin(), libc.end(), name) != libc.end();
}

Interface parseInterface(std::string_view text, const std::string &origin)
{
    Interface interface;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        try {
            parseLine(interface, line);
        } catch (const LineError &error) {
            throw std::runtime_error(origin + ":" + std::to_string(lineNumber) + ": " + error.what());
        }
    }
    if (interface.entries.empty())
        throw std::runtime_error(origin + ": no entry lines");
    return interface;
}

Interface loadInterface(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read interface file " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return parseInterface(text.str(), path.string());
}

bool matchesPattern(std::string_view pattern, std::string_view name)
{
    return fnmatch(std::string(pattern).c_str(), std::string(name).c_str(), 0) == 0;
}

bool matchesAny(const std::vector<std::string> &patterns, std::string_view name)
{
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string &p) { return matchesPattern(p, name); });
}

bool splitImageName(std::string_view symbol, std::string_view prefix, std::string_view suffix, std::string &imageName)
{
    if (symbol.size() <= prefix.size() + suffix.size() || !symbol.starts_with(prefix) || !symbol.ends_with(suffix))
        return false;
    auto name = symbol.substr(prefix.size(), symbol.size() - prefix.size() - suffix.size());
    // Sanitizers add look-alikes such as "__odr_asan._barGd"; an image is named like a variable.
    if (!std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        }))
        return false;
    imageName = std::string(name);
    return true;
}

} // namespace tapcheck
