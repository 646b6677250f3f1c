// Runs every check in report order, and the pieces several checks share: where a relocated pointer
// points, and the size summary.
#include "checks.h"

#include <algorithm>

namespace tapcheck
{

PointerTarget pointerTarget(const ElfImage &image, std::uint64_t address)
{
    PointerTarget target;
    if (const Relocation *found = image.relocationAt(address)) {
        const Relocation &r = *found;
        target.relocated = true;
        bool absolute = image.header().e_machine == EM_X86_64
                            ? (r.type == R_X86_64_64 || r.type == R_X86_64_RELATIVE)
                            : image.header().e_machine == EM_MIPS && r.type == R_MIPS_REL32;
        if (!absolute) {
            target.relocationProblem = "relocation type " + std::to_string(r.type) + " is not an absolute address";
            return target;
        }
        // Link-time address of the target: symbol value (or 0) plus the addend; the loader adds the
        // load base for local targets and the bound symbol's address for named ones.
        std::uint64_t base = 0;
        if (r.symbolIndex != 0) {
            if (r.symbolIndex >= image.dynamicSymbols().size()) {
                target.relocationProblem =
                    "relocation names symbol " + std::to_string(r.symbolIndex) + ", beyond .dynsym";
                return target;
            }
            const Symbol &symbol = image.dynamicSymbols()[r.symbolIndex];
            if (!symbol.defined()) {
                target.externalSymbol = symbol.name;
                return target;
            }
            base = symbol.value;
        }
        target.address = base + static_cast<std::uint64_t>(r.addend);
        if (image.pointerSize() == 4)
            target.address &= 0xffffffffULL;
        return target;
    }
    return target;
}

void reportSizes(const ElfImage &image, const Interface &interface, Report &report)
{
    const Section *text = image.section(".text");
    std::uint64_t code = text ? text->size : 0;
    std::uint64_t data = 0, imageData = 0, imageDataInData = 0;
    const char *dataSections[] = {".data", ".data.rel.ro", ".rodata", ".bss", ".sdata", ".sbss"};
    for (const char *name : dataSections)
        if (const Section *s = image.section(name))
            data += s->size;
    for (const Symbol &s : image.dynamicSymbols()) {
        std::string imageName;
        bool isData = s.defined() && !s.local() &&
                      std::any_of(interface.images.begin(), interface.images.end(), [&](const ImagePattern &p) {
                          return splitImageName(s.name, p.dataPrefix, p.dataSuffix, imageName);
                      });
        if (!isData)
            continue;
        imageData += s.size;
        const Section *in = image.sectionByIndex(s.sectionIndex);
        for (const char *name : dataSections)
            if (in && in->name == name)
                imageDataInData += s.size;
    }
    report.fact("sizes", "code " + std::to_string(code) + " bytes (.text), data " +
                             std::to_string(data - imageDataInData) +
                             " bytes (.data .data.rel.ro .rodata .bss .sdata .sbss without images), image data " +
                             std::to_string(imageData) + " bytes");
}

Report checkProgram(const ElfImage &image, const Interface &interface, const CheckOptions &options)
{
    Report report;
    checkFormat(image, report);
    checkIdentification(image, interface, report);
    checkEntries(image, interface, report);
    checkImages(image, interface, report);
    checkImports(image, interface, options, report);
    checkExports(image, interface, options, report);
    checkLoading(image, interface, options, report);
    reportSizes(image, interface, report);
    return report;
}

} // namespace tapcheck
