// What the loader reads by name: the identification objects in their own sections, the entry points
// and the image descriptors with their pixel data.
#include "checks.h"

#include <algorithm>
#include <map>
#include <regex>

namespace tapcheck
{
namespace
{

bool paddedWithZeros(const std::vector<std::uint8_t> &bytes, std::size_t from)
{
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(from, bytes.size())), bytes.end(),
                       [](std::uint8_t b) { return b == 0; });
}

bool printable(std::uint8_t b)
{
    // Latin-1 texts are allowed; control characters are not.
    return (b >= 0x20 && b < 0x7F) || b >= 0xA0;
}

// Returns an empty string when the bytes match, otherwise what is wrong with them.
std::string contentProblem(const IdentObject &ident, const std::vector<std::uint8_t> &bytes)
{
    auto nul = std::find(bytes.begin(), bytes.end(), 0);
    std::size_t textLength = static_cast<std::size_t>(nul - bytes.begin());
    std::string text(bytes.begin(), nul);
    switch (ident.content) {
    case ContentKind::Any: return {};
    case ContentKind::ExactBytes: {
        if (!std::equal(ident.expected.begin(), ident.expected.end(), bytes.begin(),
                        [](char e, std::uint8_t b) { return static_cast<std::uint8_t>(e) == b; })) {
            for (std::size_t i = 0; i < ident.expected.size(); ++i)
                if (static_cast<std::uint8_t>(ident.expected[i]) != bytes[i])
                    return "byte " + std::to_string(i) + " is " + hexNumber(bytes[i]) + ", expected " +
                           hexNumber(static_cast<std::uint8_t>(ident.expected[i]));
        }
        if (!paddedWithZeros(bytes, ident.expected.size()))
            return "bytes after the first " + std::to_string(ident.expected.size()) + " are not all zero";
        return {};
    }
    case ContentKind::Date:
    case ContentKind::Text:
    case ContentKind::ExactText: break;
    }
    if (textLength == bytes.size())
        return "text has no terminating NUL";
    if (!paddedWithZeros(bytes, textLength))
        return "text is not NUL-padded: non-zero bytes after the terminating NUL at " + std::to_string(textLength);
    if (ident.content == ContentKind::ExactText && text != ident.expected)
        return "text is " + quoteBytes(bytes.data(), textLength) + ", expected " +
               quoteBytes(reinterpret_cast<const std::uint8_t *>(ident.expected.data()), ident.expected.size());
    if (ident.content == ContentKind::Text) {
        if (text.empty())
            return "text is empty";
        if (!std::all_of(text.begin(), text.end(), [](char c) { return printable(static_cast<std::uint8_t>(c)); }))
            return "text holds control characters";
    }
    if (ident.content == ContentKind::Date) {
        // The compiler's __DATE__ form: "Dec  8 2026", the day blank-padded to two places.
        static const std::regex dateForm(
            "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ( [1-9]|[12][0-9]|3[01]) [0-9]{4}");
        if (!std::regex_match(text, dateForm))
            return "text " + quoteBytes(bytes.data(), textLength) + " is not a build date like \"Dec  8 2026\"";
    }
    return {};
}

void checkIdent(const ElfImage &image, const IdentObject &ident, Report &report)
{
    const std::string where = ident.section + " " + ident.symbol;
    const Section *section = image.section(ident.section);
    const Symbol *symbol = image.dynamicSymbol(ident.symbol);
    if (!section) {
        report.violation("ident", "section " + ident.section + " is missing");
    } else {
        if (section->size != ident.size)
            report.violation("ident", "section " + ident.section + " is " + std::to_string(section->size) +
                                          " bytes, expected " + std::to_string(ident.size));
        if (section->type != SHT_PROGBITS)
            report.violation("ident", "section " + ident.section + " has no contents in the file");
        if (section->flags & SHF_WRITE)
            report.violation("ident", "section " + ident.section + " is writable, expected read-only");
    }
    if (!symbol || !symbol->defined()) {
        bool hidden = std::any_of(image.staticSymbols().begin(), image.staticSymbols().end(),
                                  [&](const Symbol &s) { return s.name == ident.symbol && s.defined(); });
        report.violation("ident", ident.symbol + (hidden ? " is defined but not exported" : " is missing"));
    } else {
        if (symbol->type != STT_OBJECT || symbol->bind != STB_GLOBAL || symbol->visibility != STV_DEFAULT)
            report.violation("ident", ident.symbol + " must be a global data object with default visibility");
        if (symbol->size != ident.size)
            report.violation("ident", ident.symbol + " is " + std::to_string(symbol->size) + " bytes, expected " +
                                          std::to_string(ident.size));
        if (section && symbol->sectionIndex != section->index)
            report.violation("ident", ident.symbol + " is not in section " + ident.section);
    }
    if (!section || section->size != ident.size || section->type != SHT_PROGBITS)
        return;
    auto bytes = image.sectionBytes(*section);
    if (!bytes) {
        report.violation("ident", "section " + ident.section + " cannot be read");
        return;
    }
    std::string problem = contentProblem(ident, *bytes);
    if (!problem.empty())
        report.violation("ident", where + ": " + problem);
    std::size_t shown = bytes->size();
    if (ident.content != ContentKind::ExactBytes && ident.content != ContentKind::Any)
        shown = static_cast<std::size_t>(std::find(bytes->begin(), bytes->end(), 0) - bytes->begin());
    else if (ident.content == ContentKind::ExactBytes)
        shown = ident.expected.size();
    std::string value = ident.content == ContentKind::Any && bytes->size() <= 8
                            ? hexNumber(image.decode(bytes->data(), bytes->size()))
                            : quoteBytes(bytes->data(), shown);
    report.fact("ident", where + " (" + std::to_string(ident.size) + " bytes) = " + value);
}

struct ImageParts {
    const Symbol *descriptor = nullptr;
    const Symbol *data = nullptr;
};

void checkDescriptor(const ElfImage &image, const ImageParts &parts, const std::string &dataName, Report &report)
{
    const Symbol &gd = *parts.descriptor;
    const std::size_t pointerSize = image.pointerSize();
    // {u16 version, u8 reserved, u8 format, pointer data, u32 size, u16 width, u16 height}, natural alignment.
    const std::size_t descriptorSize = pointerSize == 8 ? 24 : 16;
    const std::size_t sizeAt = pointerSize * 2, widthAt = sizeAt + 4, heightAt = sizeAt + 6;
    if (gd.size != descriptorSize) {
        report.violation("image", gd.name + " is " + std::to_string(gd.size) + " bytes, expected a " +
                                      std::to_string(descriptorSize) + "-byte descriptor");
        return;
    }
    auto bytes = image.bytesAt(gd.value, descriptorSize);
    if (!bytes) {
        report.violation("image", gd.name + " cannot be read");
        return;
    }
    const std::uint8_t *b = bytes->data();
    auto version = image.decode(b, 2);
    unsigned reserved = b[2], format = b[3];
    auto size = image.decode(b + sizeAt, 4), width = image.decode(b + widthAt, 2),
         height = image.decode(b + heightAt, 2);
    if (version != 1)
        report.violation("image", gd.name + " version is " + std::to_string(version) + ", expected 1");
    if (reserved != 0)
        report.violation("image", gd.name + " reserved byte is " + std::to_string(reserved) + ", expected 0");
    if (format != 2)
        report.violation("image", gd.name + " pixel format is " + std::to_string(format) + ", expected 2 (OSD_1555)");
    if (width == 0 || height == 0)
        report.violation("image",
                         gd.name + " is " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
    if (size != width * height * 2)
        report.violation("image", gd.name + " size is " + std::to_string(size) +
                                      ", expected width * height * 2 = " + std::to_string(width * height * 2));

    PointerTarget target = pointerTarget(image, gd.value + pointerSize);
    std::string pointsAt;
    if (!target.relocationProblem.empty()) {
        report.violation("image", gd.name + " data pointer: " + target.relocationProblem);
    } else if (!target.relocated) {
        report.violation("image", gd.name + " data pointer has no dynamic relocation, so it stays unrelocated");
    } else if (!target.externalSymbol.empty()) {
        report.violation("image",
                         gd.name + " data pointer refers to " + target.externalSymbol + " outside the program");
    } else {
        const Symbol *at = image.symbolAt(target.address);
        pointsAt = at ? at->name : hexNumber(target.address);
        if (parts.data && target.address != parts.data->value)
            report.violation("image", gd.name + " data pointer points at " + pointsAt + ", expected " + dataName);
    }
    report.fact("image", gd.name + ": " + std::to_string(descriptorSize) + "-byte descriptor, " +
                             std::to_string(width) + " x " + std::to_string(height) + ", size " + std::to_string(size) +
                             " -> " + (pointsAt.empty() ? "?" : pointsAt) +
                             (parts.data ? " (" + std::to_string(parts.data->size) + " bytes)" : ""));
}

} // namespace

void checkIdentification(const ElfImage &image, const Interface &interface, Report &report)
{
    for (const IdentObject &ident : interface.idents)
        checkIdent(image, ident, report);
}

void checkEntries(const ElfImage &image, const Interface &interface, Report &report)
{
    std::string found;
    for (const std::string &name : interface.entries) {
        const Symbol *symbol = image.dynamicSymbol(name);
        if (!symbol || !symbol->defined()) {
            bool hidden = std::any_of(image.staticSymbols().begin(), image.staticSymbols().end(),
                                      [&](const Symbol &s) { return s.name == name && s.defined(); });
            report.violation("entry", name + (hidden ? " is defined but not exported" : " is missing"));
            continue;
        }
        if (symbol->type != STT_FUNC)
            report.violation("entry", name + " is not a function");
        if (symbol->bind != STB_GLOBAL)
            report.violation("entry", name + " is not a global symbol");
        if (symbol->visibility != STV_DEFAULT)
            report.violation("entry", name + " does not have default visibility");
        found += (found.empty() ? "" : " ") + name;
    }
    report.fact("entries", found.empty() ? "none" : found);
}

void checkImages(const ElfImage &image, const Interface &interface, Report &report)
{
    for (const ImagePattern &pattern : interface.images) {
        std::map<std::string, ImageParts> images;
        for (const Symbol &s : image.dynamicSymbols()) {
            std::string name;
            if (!s.defined() || s.local())
                continue;
            if (splitImageName(s.name, pattern.descriptorPrefix, pattern.descriptorSuffix, name))
                images[name].descriptor = &s;
            else if (splitImageName(s.name, pattern.dataPrefix, pattern.dataSuffix, name))
                images[name].data = &s;
        }
        // An image the program keeps to itself cannot be found by name; say so instead of missing it.
        for (const Symbol &s : image.staticSymbols()) {
            std::string name;
            if (s.defined() && s.bind == STB_LOCAL && s.type == STT_OBJECT &&
                (splitImageName(s.name, pattern.descriptorPrefix, pattern.descriptorSuffix, name) ||
                 splitImageName(s.name, pattern.dataPrefix, pattern.dataSuffix, name)) &&
                !image.dynamicSymbol(s.name))
                report.violation("image", s.name + " is defined but not exported");
        }
        for (const auto &[name, parts] : images) {
            std::string gdName = pattern.descriptorPrefix + name + pattern.descriptorSuffix;
            std::string dataName = pattern.dataPrefix + name + pattern.dataSuffix;
            if (!parts.data)
                report.violation("image", gdName + " has no pixel data " + dataName);
            else if (parts.data->size == 0 || parts.data->type != STT_OBJECT)
                report.violation("image", dataName + " must be a data object with a size");
            if (!parts.descriptor) {
                report.violation("image", dataName + " has no descriptor " + gdName);
                continue;
            }
            checkDescriptor(image, parts, dataName, report);
        }
    }
}

} // namespace tapcheck
