// What the loader does beyond binding symbols: the libraries it opens, thread-local storage, code it
// runs at load time and code pages it would have to patch. The program needs none of them.
#include "checks.h"

#include <set>

namespace tapcheck
{
namespace
{

void checkNeeded(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report)
{
    std::string names;
    for (const DynamicEntry &d : image.dynamicEntries()) {
        if (d.tag != DT_NEEDED)
            continue;
        std::string name = image.dynamicString(d.value);
        names += (names.empty() ? "" : " ") + name;
        if (matchesAny(interface.needed, name))
            continue;
        if (options.allowSanitizer && matchesAny(interface.sanitizerNeeded, name))
            continue;
        report.violation("needed", "DT_NEEDED " + name + ": the receiver has no such library");
    }
    report.fact("needed", names.empty() ? "none" : names);
}

void checkTls(const ElfImage &image, Report &report)
{
    for (const GElf_Phdr &p : image.programHeaders())
        if (p.p_type == PT_TLS)
            report.violation("tls", "PT_TLS segment: thread-local storage");
    for (const Section &s : image.sections())
        if ((s.flags & SHF_TLS) && s.size)
            report.violation("tls", "section " + s.name + " holds thread-local data");
    std::set<std::string> seen;
    for (const auto *table : {&image.dynamicSymbols(), &image.staticSymbols()})
        for (const Symbol &s : *table)
            if (s.type == STT_TLS && seen.insert(s.name).second)
                report.violation("tls", s.name + " is a thread-local variable");
    if (image.dynamicValue(DT_FLAGS).value_or(0) & DF_STATIC_TLS)
        report.violation("tls", "DF_STATIC_TLS is set");
}

// Every function the loader would call through an init or fini array; the program must have none,
// since it is loaded without a C++ runtime.
void checkConstructors(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report)
{
    std::size_t allowed = 0;
    for (const char *name : {".preinit_array", ".init_array", ".ctors", ".fini_array", ".dtors"}) {
        const Section *section = image.section(name);
        if (!section)
            continue;
        const bool legacy = section->name == ".ctors" || section->name == ".dtors";
        const std::size_t pointerSize = image.pointerSize();
        auto bytes = image.sectionBytes(*section);
        if (!bytes) {
            report.violation("constructor", section->name + " cannot be read");
            continue;
        }
        for (std::size_t at = 0; at + pointerSize <= bytes->size(); at += pointerSize) {
            PointerTarget target = pointerTarget(image, section->address + at);
            std::uint64_t value = target.relocated ? target.address : image.decode(bytes->data() + at, pointerSize);
            // The old .ctors lists are framed by 0 and -1 markers.
            std::uint64_t allOnes = pointerSize == 8 ? ~0ULL : 0xffffffffULL;
            if (legacy && (value == 0 || value == allOnes))
                continue;
            const Symbol *function = image.symbolAt(value);
            std::string functionName = function ? function->name : hexNumber(value);
            if (options.allowSanitizer && function && matchesAny(interface.sanitizerConstructors, function->name)) {
                ++allowed;
                continue;
            }
            report.violation("constructor", section->name + " makes the loader run " + functionName +
                                                ": static constructors and destructors are not allowed");
        }
    }
    for (auto [tag, name] : {std::pair{DT_INIT, "DT_INIT"}, std::pair{DT_FINI, "DT_FINI"}}) {
        if (auto address = image.dynamicValue(tag)) {
            const Symbol *function = image.symbolAt(*address);
            report.fact("init", std::string(name) + " runs " + (function ? function->name : hexNumber(*address)));
        }
    }
    if (allowed)
        report.fact("init", std::to_string(allowed) + " sanitizer module constructors");
}

void checkTextRelocations(const ElfImage &image, Report &report)
{
    bool textrel =
        image.dynamicValue(DT_TEXTREL).has_value() || (image.dynamicValue(DT_FLAGS).value_or(0) & DF_TEXTREL) != 0;
    // MIPS ld makes such code writable instead of leaving it read-only, so code counts as well.
    std::set<std::string> readOnly;
    for (const Relocation &r : image.dynamicRelocations()) {
        for (const Section &s : image.sections())
            if ((s.flags & SHF_ALLOC) && (!(s.flags & SHF_WRITE) || (s.flags & SHF_EXECINSTR)) &&
                r.offset >= s.address && r.offset < s.address + s.size)
                readOnly.insert(s.name);
    }
    std::string where;
    for (const std::string &name : readOnly)
        where += " " + name;
    if (textrel)
        report.violation("textrel", "DT_TEXTREL: the loader must patch read-only pages (relocations in" +
                                        (where.empty() ? std::string(" unknown sections") : where) + ")");
    else if (!readOnly.empty())
        report.violation("textrel", "dynamic relocations in code or read-only sections:" + where);
}

} // namespace

void checkLoading(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report)
{
    checkNeeded(image, interface, options, report);
    checkTls(image, report);
    checkConstructors(image, interface, options, report);
    checkTextRelocations(image, report);
}

} // namespace tapcheck
