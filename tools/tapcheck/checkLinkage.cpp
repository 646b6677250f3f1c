// The symbols the loader binds: every import must be a firmware operation or a C library function of
// the interface, unversioned, and the program exports nothing but its entry points, identification
// objects and images.
#include "checks.h"

#include <algorithm>
#include <set>

namespace tapcheck
{
namespace
{

// A firmware operation is a pointer variable: calling it through a PLT slot or a MIPS lazy-binding stub
// means the program declared it as a function and would jump into the firmware's data.
bool calledAsFunction(const ElfImage &image, const Symbol &symbol, const std::set<std::uint32_t> &pltSymbols)
{
    if (image.header().e_machine == EM_MIPS)
        return symbol.type == STT_FUNC || symbol.value != 0;
    return pltSymbols.contains(static_cast<std::uint32_t>(symbol.index));
}

std::set<std::uint32_t> pltSymbolIndexes(const ElfImage &image)
{
    std::set<std::uint32_t> indexes;
    if (image.header().e_machine == EM_X86_64)
        for (const Relocation &r : image.dynamicRelocations())
            if (r.type == R_X86_64_JUMP_SLOT)
                indexes.insert(r.symbolIndex);
    return indexes;
}

std::string joined(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

} // namespace

void checkImports(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report)
{
    std::vector<std::string> firmware, libc, sanitizer;
    std::set<std::uint16_t> usedVersions;
    const std::set<std::uint32_t> pltSymbols = pltSymbolIndexes(image);
    for (const Symbol &s : image.dynamicSymbols()) {
        if (s.index == 0 || s.defined() || s.local())
            continue;
        if (s.versionIndex >= 2) {
            usedVersions.insert(s.versionIndex);
            report.violation("version", s.name + "@" + image.neededVersionName(s.versionIndex) +
                                            " is a versioned import; the receiver's C library has no symbol versions");
        }
        if (interface.isFirmware(s.name)) {
            firmware.push_back(s.name);
            if (calledAsFunction(image, s, pltSymbols))
                report.violation("firmware", s.name + " is called as a function; it is a function-pointer variable");
        } else if (interface.isLibc(s.name)) {
            libc.push_back(s.name);
        } else if (options.allowSanitizer && matchesAny(interface.sanitizerImports, s.name)) {
            sanitizer.push_back(s.name);
        } else if (matchesAny(interface.sanitizerImports, s.name)) {
            report.violation("import", s.name + " is a sanitizer import; only sanitizer builds may have it"
                                                " (--allow-sanitizer)");
        } else {
            report.violation("import",
                             s.name + " is imported but is not in the interface; the receiver cannot resolve it");
        }
    }
    if (image.hasNeededVersions() && usedVersions.empty())
        report.violation("version", "the file requires symbol versions (.gnu.version_r) from other libraries");

    // A definition anywhere, even hidden, shadows the firmware's pointer, which then never gets used.
    std::set<std::string> defined;
    for (const auto *table : {&image.dynamicSymbols(), &image.staticSymbols()})
        for (const Symbol &s : *table)
            if (s.defined() && s.type != STT_SECTION && interface.isFirmware(s.name) && defined.insert(s.name).second)
                report.violation("firmware", s.name + " is defined by the program; it must stay an undefined import "
                                                      "bound to the firmware's pointer");

    report.fact("imports", std::to_string(firmware.size()) + " firmware: " + joined(firmware));
    report.fact("imports", std::to_string(libc.size()) + " libc: " + joined(libc));
    if (options.allowSanitizer)
        report.fact("imports", std::to_string(sanitizer.size()) + " sanitizer");
}

void checkExports(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report)
{
    std::size_t count = 0;
    for (const Symbol &s : image.dynamicSymbols()) {
        if (s.index == 0 || !s.defined() || s.local())
            continue;
        ++count;
        std::string imageName;
        bool isImage = std::any_of(interface.images.begin(), interface.images.end(), [&](const ImagePattern &p) {
            return splitImageName(s.name, p.descriptorPrefix, p.descriptorSuffix, imageName) ||
                   splitImageName(s.name, p.dataPrefix, p.dataSuffix, imageName);
        });
        if (interface.isEntry(s.name) || interface.ident(s.name) || isImage || interface.isFirmware(s.name))
            continue; // firmware definitions are reported with the imports
        if (options.allowSanitizer && matchesAny(interface.sanitizerExports, s.name))
            continue;
        report.violation("export", s.name + " is exported but is not in the interface");
    }
    report.fact("exports", std::to_string(count) + " symbols");
}

} // namespace tapcheck
