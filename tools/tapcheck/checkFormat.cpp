// File kind and target: a shared object for the PC (x86-64) or for the receiver (32-bit
// little-endian MIPS, o32, PIC, no newer ISA than MIPS32 release 1 so that every receiver CPU runs it).
#include "checks.h"

#include <array>

namespace tapcheck
{
namespace
{

// e_flags ISA field, EF_MIPS_ARCH.
constexpr std::uint32_t archMask = 0xf0000000;
constexpr std::array<const char *, 11> archNames = {"MIPS I", "MIPS II",  "MIPS III", "MIPS IV",  "MIPS V",  "MIPS32",
                                                    "MIPS64", "MIPS32r2", "MIPS64r2", "MIPS32r6", "MIPS64r6"};
constexpr std::uint32_t archMips32 = 0x50000000;
constexpr std::uint32_t flagPic = 0x2, flagCpic = 0x4, flagNoReorder = 0x1;
constexpr std::uint32_t flagN32 = 0x20, flagNan2008 = 0x400, flagFp64 = 0x200;
constexpr std::uint32_t abiMask = 0x0000f000, abiO32 = 0x1000;
constexpr std::uint32_t aseMask = 0x0f000000;

const char *fpAbiName(unsigned fpAbi)
{
    switch (fpAbi) {
    case 0: return "no floating point";
    case 1: return "hard float, double precision";
    case 2: return "hard float, single precision";
    case 3: return "soft float";
    case 5: return "hard float, any FPU (FPXX)";
    case 6: return "hard float, 64-bit FPU (FP64)";
    case 7: return "hard float, 64-bit FPU (FP64A)";
    default: return "unknown floating point";
    }
}

// .MIPS.abiflags repeats the ISA more precisely than e_flags and adds the extensions used.
void checkAbiFlags(const ElfImage &image, Report &report)
{
    const Section *abiFlags = image.section(".MIPS.abiflags");
    if (!abiFlags)
        return;
    auto bytes = image.sectionBytes(*abiFlags);
    if (!bytes || bytes->size() < 24) {
        report.violation("isa", ".MIPS.abiflags is unreadable or shorter than 24 bytes");
        return;
    }
    const std::uint8_t *b = bytes->data();
    unsigned level = b[2], revision = b[3], fpAbi = b[7];
    auto extension = image.decode(b + 8, 4), ases = image.decode(b + 12, 4);
    std::string text = "abiflags ISA level " + std::to_string(level) + " release " + std::to_string(revision) + ", " +
                       fpAbiName(fpAbi);
    if (ases)
        text += ", ASEs " + hexNumber(ases);
    report.fact("isa", text);
    if (!(level == 1 || level == 2 || (level == 32 && revision <= 1)))
        report.violation("isa", "abiflags ISA level " + std::to_string(level) + " release " + std::to_string(revision) +
                                    ": newer than MIPS32 release 1, older receiver CPUs cannot run it");
    if (ases)
        report.violation("isa", "abiflags ASE set " + hexNumber(ases) + ": the receiver CPU has no ASEs");
    if (extension)
        report.violation("isa", "abiflags processor extension " + std::to_string(extension) + " is not MIPS32");
}

void checkMips(const ElfImage &image, Report &report)
{
    auto flags = static_cast<std::uint32_t>(image.header().e_flags);
    std::uint32_t arch = flags & archMask;
    std::size_t archIndex = arch >> 28;
    std::string archName = archIndex < archNames.size() ? archNames[archIndex] : "ISA " + hexNumber(arch);
    std::string text = archName + (arch == archMips32 ? " (release 1)" : "");
    text += (flags & flagN32)                                         ? ", n32"
            : ((flags & abiMask) == abiO32 || (flags & abiMask) == 0) ? ", o32"
                                                                      : ", other ABI";
    text += (flags & flagPic) ? ", pic" : "";
    text += (flags & flagCpic) ? ", cpic" : "";
    text += (flags & flagNoReorder) ? ", noreorder" : "";
    text += ", e_flags " + hexNumber(flags);
    report.fact("isa", text);

    if (!(arch == 0 || arch == 0x10000000 || arch == archMips32))
        report.violation("isa", archName + " in e_flags: newer than MIPS32 release 1, older receiver CPUs cannot run it"
                                           " (a static libgcc helper built for a newer ISA raises it too)");
    if (!(flags & flagPic))
        report.violation("pic", "e_flags lack EF_MIPS_PIC: the program is not position-independent code");
    if (flags & flagN32)
        report.violation("isa", "n32 ABI: the receiver runs o32 programs");
    else if ((flags & abiMask) != abiO32 && (flags & abiMask) != 0)
        report.violation("isa", "ABI field " + hexNumber(flags & abiMask) + " is not o32");
    if (flags & aseMask)
        report.violation("isa", "e_flags name an ASE (" + hexNumber(flags & aseMask) + "): MIPS16, microMIPS or MDMX");
    if (flags & flagNan2008)
        report.violation("isa", "2008 NaN encoding: the receiver's FPU uses the legacy encoding");
    if (flags & flagFp64)
        report.violation("isa", "64-bit FPU registers (FP64) need a newer CPU");
    checkAbiFlags(image, report);
}

} // namespace

void checkFormat(const ElfImage &image, Report &report)
{
    const GElf_Ehdr &header = image.header();
    bool elf64 = image.elfClass() == ELFCLASS64;
    std::string machine = header.e_machine == EM_X86_64 ? "x86-64"
                          : header.e_machine == EM_MIPS ? "MIPS"
                                                        : "machine " + std::to_string(header.e_machine);
    std::string kind = header.e_type == ET_DYN ? "shared object" : "ELF type " + std::to_string(header.e_type);
    report.fact("file", std::string(elf64 ? "ELF64" : "ELF32") + ", " +
                            (image.littleEndian() ? "little-endian" : "big-endian") + ", " + machine + ", " + kind);

    if (header.e_type != ET_DYN)
        report.violation("elf", "not a shared object: the loader opens the program like a library");
    bool pc = header.e_machine == EM_X86_64 && elf64 && image.littleEndian();
    bool receiver = header.e_machine == EM_MIPS && !elf64 && image.littleEndian();
    if (!pc && !receiver)
        report.violation("elf", machine + (elf64 ? " ELF64 " : " ELF32 ") +
                                    (image.littleEndian() ? "little-endian" : "big-endian") +
                                    ": programs are x86-64 for the PC or 32-bit little-endian MIPS for the receiver");
    if (header.e_machine == EM_MIPS)
        checkMips(image, report);
}

} // namespace tapcheck
