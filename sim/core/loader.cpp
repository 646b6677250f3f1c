#include "loader.h"

#include <cstring>
#ifndef __EMSCRIPTEN__
#include <dlfcn.h>
#endif
#include <elf.h>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace sim
{

namespace
{

template <typename T> T swapIf(T v, bool swap)
{
    if (!swap)
        return v;
    T out;
    auto *s = reinterpret_cast<unsigned char *>(&v);
    auto *d = reinterpret_cast<unsigned char *>(&out);
    for (size_t i = 0; i < sizeof(T); ++i)
        d[i] = s[sizeof(T) - 1 - i];
    return out;
}

template <typename Ehdr, typename Shdr>
bool findSection(const std::vector<char> &file, bool swap, const char *wanted, std::vector<char> &out)
{
    if (file.size() < sizeof(Ehdr))
        return false;
    Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof eh);
    uint64_t shoff = swapIf(eh.e_shoff, swap);
    uint16_t shnum = swapIf(eh.e_shnum, swap), shstrndx = swapIf(eh.e_shstrndx, swap);
    auto section = [&](unsigned i, Shdr &sh) {
        uint64_t at = shoff + static_cast<uint64_t>(i) * sizeof(Shdr);
        if (at + sizeof(Shdr) > file.size())
            return false;
        std::memcpy(&sh, file.data() + at, sizeof sh);
        return true;
    };
    Shdr names;
    if (shstrndx >= shnum || !section(shstrndx, names))
        return false;
    uint64_t namesOff = swapIf(names.sh_offset, swap), namesSize = swapIf(names.sh_size, swap);
    if (namesOff + namesSize > file.size())
        return false;
    for (unsigned i = 0; i < shnum; ++i) {
        Shdr sh;
        if (!section(i, sh))
            return false;
        uint32_t name = swapIf(sh.sh_name, swap);
        if (name >= namesSize)
            continue;
        const char *n = file.data() + namesOff + name;
        if (strnlen(n, namesSize - name) == namesSize - name || std::strcmp(n, wanted) != 0)
            continue;
        uint64_t off = swapIf(sh.sh_offset, swap), size = swapIf(sh.sh_size, swap);
        if (off + size > file.size())
            return false;
        out.assign(file.begin() + static_cast<long>(off), file.begin() + static_cast<long>(off + size));
        return true;
    }
    return false;
}

} // namespace

bool checkTapHeader(const std::filesystem::path &path, std::string *error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < EI_NIDENT || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0) {
        *error = path.string() + ": not an ELF file";
        return false;
    }
    bool little = file[EI_DATA] == ELFDATA2LSB;
    bool swap = little != (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
    std::vector<char> header;
    bool found = file[EI_CLASS] == ELFCLASS32 ? findSection<Elf32_Ehdr, Elf32_Shdr>(file, swap, "._tap_header", header)
                                              : findSection<Elf64_Ehdr, Elf64_Shdr>(file, swap, "._tap_header", header);
    if (!found) {
        *error = path.string() + ": no ._tap_header section";
        return false;
    }
    if (header.size() < 12 || std::memcmp(header.data(), "TFAPMIPS", 8) != 0) {
        *error = path.string() + ": ._tap_header does not start with TFAPMIPS";
        return false;
    }
    return true;
}

ProgramEntries registerEntries(TapInit init)
{
    void *record[2] = {nullptr, nullptr};
    init(record);
    ProgramEntries e;
    e.main = reinterpret_cast<int (*)(void)>(record[0]);
    e.eventHandler = reinterpret_cast<dword (*)(dword, dword, dword)>(record[1]);
    return e;
}

#ifdef __EMSCRIPTEN__
} // namespace sim

// The program's own entry and identification, linked into this module.
extern "C" int __TAP_Init_(void *record);
extern "C" const byte __tap_Header__[32];

namespace sim
{

// A browser tab cannot load a second native file: the program is linked into
// the module, and `file` only names it. Its module state is the module's, so
// it starts fresh once per module instance; a restart is a new instance.
std::optional<ProgramEntries> loadProgram(const std::filesystem::path &file, bool fresh, std::string *error)
{
    static bool started = false;
    if (std::memcmp(__tap_Header__, "TFAPMIPS", 8) != 0) {
        *error = file.string() + ": the linked program's header does not start with TFAPMIPS";
        return std::nullopt;
    }
    if (fresh && started) {
        *error = "the program linked into this module has run already; a fresh copy needs a fresh module";
        return std::nullopt;
    }
    started = true;
    return registerEntries(&__TAP_Init_);
}
#else
std::optional<ProgramEntries> loadProgram(const std::filesystem::path &file, bool fresh, std::string *error)
{
    if (!checkTapHeader(file, error))
        return std::nullopt;
    std::filesystem::path toOpen = std::filesystem::absolute(file);
    if (fresh) {
        char pattern[] = "/tmp/ringwatcher-XXXXXX.tap";
        int fd = mkstemps(pattern, 4);
        if (fd < 0) {
            *error = "cannot make a private copy of the program";
            return std::nullopt;
        }
        ::close(fd);
        std::filesystem::copy_file(file, pattern, std::filesystem::copy_options::overwrite_existing);
        toOpen = pattern;
    }
    void *handle = dlopen(toOpen.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (fresh)
        std::filesystem::remove(toOpen);
    if (!handle) {
        *error = dlerror();
        return std::nullopt;
    }
    auto init = reinterpret_cast<TapInit>(dlsym(handle, "__TAP_Init_"));
    if (!init) {
        *error = file.string() + ": no __TAP_Init_";
        return std::nullopt;
    }
    ProgramEntries e = registerEntries(init);
    if (!e.main || !e.eventHandler) {
        *error = file.string() + ": __TAP_Init_ did not register both entries";
        return std::nullopt;
    }
    return e;
}

#endif

} // namespace sim
