// The rules a program file must keep so that the receiver's loader can load it; each check adds
// facts and violations to the report.
#pragma once

#include "elfImage.h"
#include "interface.h"
#include "report.h"

namespace tapcheck
{

struct CheckOptions {
    bool allowSanitizer = false; // sanitizer imports, libraries and module constructors
};

Report checkProgram(const ElfImage &image, const Interface &interface, const CheckOptions &options);

void checkFormat(const ElfImage &image, Report &report);
void checkIdentification(const ElfImage &image, const Interface &interface, Report &report);
void checkEntries(const ElfImage &image, const Interface &interface, Report &report);
void checkImages(const ElfImage &image, const Interface &interface, Report &report);
void checkImports(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report);
void checkExports(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report);
void checkLoading(const ElfImage &image, const Interface &interface, const CheckOptions &options, Report &report);
void reportSizes(const ElfImage &image, const Interface &interface, Report &report);

// Where a pointer-sized word at `address` points once the loader has relocated it.
struct PointerTarget {
    bool relocated = false;
    std::uint64_t address = 0;
    std::string externalSymbol; // set when the loader takes the value from another library
    std::string relocationProblem;
};
PointerTarget pointerTarget(const ElfImage &image, std::uint64_t address);

} // namespace tapcheck
