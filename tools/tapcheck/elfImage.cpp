// libelf access for tapcheck. Every index and offset from the file is checked before use, since a
// broken build product must give a clear error, not a crash.
#include "elfImage.h"

#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tapcheck
{
namespace
{

[[noreturn]] void fail(const std::string &what)
{
    throw std::runtime_error(what + ": " + elf_errmsg(-1));
}

std::string safeString(Elf *elf, std::size_t section, std::size_t offset)
{
    const char *text = elf_strptr(elf, section, offset);
    return text ? text : "";
}

} // namespace

ElfImage::ElfImage(const std::filesystem::path &path)
{
    if (elf_version(EV_CURRENT) == EV_NONE)
        fail("libelf");
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error("cannot open " + path.string() + ": " + std::strerror(errno));
    elf_ = elf_begin(fd_, ELF_C_READ, nullptr);
    try {
        if (!elf_)
            fail(path.string());
        if (elf_kind(elf_) != ELF_K_ELF)
            throw std::runtime_error(path.string() + " is not an ELF file");
        if (!gelf_getehdr(elf_, &header_))
            fail(path.string() + ": ELF header");
        // libelf quietly shows no sections when their table lies past the end of the file.
        struct stat status {
        };
        if (fstat(fd_, &status) != 0)
            throw std::runtime_error("cannot read " + path.string() + ": " + std::strerror(errno));
        fileSize_ = static_cast<std::uint64_t>(status.st_size);
        const std::uint64_t fileSize = fileSize_;
        if (header_.e_shoff == 0)
            throw std::runtime_error(path.string() + " has no section headers");
        if (header_.e_shoff > fileSize ||
            std::uint64_t{header_.e_shnum} * header_.e_shentsize > fileSize - header_.e_shoff)
            throw std::runtime_error(path.string() + " is truncated: its section headers lie past the end of the file");
        std::size_t sectionCount = 0;
        if (elf_getshdrnum(elf_, &sectionCount) != 0)
            fail(path.string() + ": section headers");
        if (sectionCount == 0)
            throw std::runtime_error(path.string() + " has no section headers");
        std::size_t count = 0;
        if (elf_getphdrnum(elf_, &count) != 0)
            fail(path.string() + ": program headers");
        for (std::size_t i = 0; i < count; ++i) {
            GElf_Phdr phdr;
            if (!gelf_getphdr(elf_, static_cast<int>(i), &phdr))
                fail(path.string() + ": program header");
            programHeaders_.push_back(phdr);
        }
        readSections();
        for (const Section &s : sections_) {
            if (s.type == SHT_DYNSYM) {
                dynamicSymbolSection_ = s.index;
                dynamicStringSection_ = s.link;
                readSymbols(s, dynamicSymbols_);
            } else if (s.type == SHT_SYMTAB) {
                readSymbols(s, staticSymbols_);
            }
        }
        readDynamic();
        readVersions();
        readRelocations();
    } catch (...) {
        if (elf_)
            elf_end(elf_);
        close(fd_);
        throw;
    }
}

ElfImage::~ElfImage()
{
    elf_end(elf_);
    close(fd_);
}

Elf_Scn *ElfImage::scn(std::size_t index) const
{
    return elf_getscn(elf_, index);
}

void ElfImage::readSections()
{
    std::size_t names = 0;
    if (elf_getshdrstrndx(elf_, &names) != 0)
        fail("section names");
    for (Elf_Scn *s = elf_nextscn(elf_, nullptr); s; s = elf_nextscn(elf_, s)) {
        GElf_Shdr shdr;
        if (!gelf_getshdr(s, &shdr))
            fail("section header");
        Section section;
        section.index = elf_ndxscn(s);
        section.name = safeString(elf_, names, shdr.sh_name);
        section.type = shdr.sh_type;
        section.flags = shdr.sh_flags;
        section.address = shdr.sh_addr;
        section.size = shdr.sh_size;
        section.entrySize = shdr.sh_entsize;
        section.link = shdr.sh_link;
        sections_.push_back(section);
    }
}

const Section *ElfImage::section(const std::string &name) const
{
    for (const Section &s : sections_)
        if (s.name == name)
            return &s;
    return nullptr;
}

const Section *ElfImage::sectionByIndex(std::size_t index) const
{
    for (const Section &s : sections_)
        if (s.index == index)
            return &s;
    return nullptr;
}

void ElfImage::readSymbols(const Section &table, std::vector<Symbol> &into)
{
    Elf_Data *data = elf_getdata(scn(table.index), nullptr);
    if (!data)
        fail("symbol table " + table.name);
    std::size_t count = table.entrySize ? table.size / table.entrySize : 0;
    for (std::size_t i = 0; i < count; ++i) {
        GElf_Sym sym;
        if (!gelf_getsym(data, static_cast<int>(i), &sym))
            fail("symbol table " + table.name);
        Symbol symbol;
        symbol.index = i;
        symbol.name = safeString(elf_, table.link, sym.st_name);
        symbol.value = sym.st_value;
        symbol.size = sym.st_size;
        symbol.type = GELF_ST_TYPE(sym.st_info);
        symbol.bind = GELF_ST_BIND(sym.st_info);
        symbol.visibility = GELF_ST_VISIBILITY(sym.st_other);
        symbol.sectionIndex = sym.st_shndx;
        into.push_back(symbol);
    }
}

const Symbol *ElfImage::dynamicSymbol(const std::string &name) const
{
    for (const Symbol &s : dynamicSymbols_)
        if (s.name == name && s.index != 0)
            return &s;
    return nullptr;
}

const Symbol *ElfImage::symbolAt(std::uint64_t address) const
{
    for (const auto *table : {&dynamicSymbols_, &staticSymbols_})
        for (const Symbol &s : *table)
            if (s.defined() && s.value == address && !s.name.empty() && s.type != STT_SECTION && s.type != STT_FILE &&
                s.sectionIndex != SHN_ABS)
                return &s;
    return nullptr;
}

void ElfImage::readDynamic()
{
    for (const Section &s : sections_) {
        if (s.type != SHT_DYNAMIC)
            continue;
        Elf_Data *data = elf_getdata(scn(s.index), nullptr);
        if (!data)
            fail("dynamic section");
        std::size_t count = s.entrySize ? s.size / s.entrySize : 0;
        for (std::size_t i = 0; i < count; ++i) {
            GElf_Dyn dyn;
            if (!gelf_getdyn(data, static_cast<int>(i), &dyn))
                fail("dynamic section");
            if (dyn.d_tag == DT_NULL)
                break;
            dynamic_.push_back({dyn.d_tag, dyn.d_un.d_val});
        }
        dynamicStringSection_ = s.link;
    }
}

std::optional<std::uint64_t> ElfImage::dynamicValue(std::int64_t tag) const
{
    for (const DynamicEntry &d : dynamic_)
        if (d.tag == tag)
            return d.value;
    return std::nullopt;
}

std::string ElfImage::dynamicString(std::uint64_t offset) const
{
    return safeString(elf_, dynamicStringSection_, offset);
}

void ElfImage::readVersions()
{
    for (const Section &s : sections_) {
        Elf_Data *data = nullptr;
        if (s.type == SHT_GNU_versym) {
            data = elf_getdata(scn(s.index), nullptr);
            if (!data)
                fail("symbol versions");
            for (Symbol &symbol : dynamicSymbols_) {
                GElf_Versym versym;
                if (gelf_getversym(data, static_cast<int>(symbol.index), &versym))
                    symbol.versionIndex = versym & 0x7fff;
            }
        } else if (s.type == SHT_GNU_verneed) {
            data = elf_getdata(scn(s.index), nullptr);
            if (!data)
                fail("needed versions");
            // The chains are bounded by the section size so that a looping file cannot hang us.
            std::size_t offset = 0;
            for (std::size_t files = 0; files < data->d_size; ++files) {
                GElf_Verneed need;
                if (!gelf_getverneed(data, static_cast<int>(offset), &need))
                    fail("needed versions");
                std::size_t auxOffset = offset + need.vn_aux;
                for (unsigned n = 0; n < need.vn_cnt; ++n) {
                    GElf_Vernaux aux;
                    if (!gelf_getvernaux(data, static_cast<int>(auxOffset), &aux))
                        fail("needed versions");
                    neededVersions_.emplace_back(aux.vna_other, safeString(elf_, s.link, aux.vna_name));
                    if (aux.vna_next == 0)
                        break;
                    auxOffset += aux.vna_next;
                }
                if (need.vn_next == 0)
                    break;
                offset += need.vn_next;
            }
        }
    }
}

std::string ElfImage::neededVersionName(std::uint16_t versionIndex) const
{
    for (const auto &[index, name] : neededVersions_)
        if (index == versionIndex)
            return name;
    return "version " + std::to_string(versionIndex);
}

void ElfImage::readRelocations()
{
    for (const Section &s : sections_) {
        if ((s.type != SHT_REL && s.type != SHT_RELA) || s.link != dynamicSymbolSection_ || dynamicSymbolSection_ == 0)
            continue;
        Elf_Data *data = elf_getdata(scn(s.index), nullptr);
        if (!data)
            fail("relocations " + s.name);
        std::size_t count = s.entrySize ? s.size / s.entrySize : 0;
        for (std::size_t i = 0; i < count; ++i) {
            Relocation r;
            r.sectionName = s.name;
            if (s.type == SHT_RELA) {
                GElf_Rela rela;
                if (!gelf_getrela(data, static_cast<int>(i), &rela))
                    fail("relocations " + s.name);
                r.offset = rela.r_offset;
                r.type = static_cast<std::uint32_t>(GELF_R_TYPE(rela.r_info));
                r.symbolIndex = static_cast<std::uint32_t>(GELF_R_SYM(rela.r_info));
                r.addend = rela.r_addend;
            } else {
                GElf_Rel rel;
                if (!gelf_getrel(data, static_cast<int>(i), &rel))
                    fail("relocations " + s.name);
                r.offset = rel.r_offset;
                r.type = static_cast<std::uint32_t>(GELF_R_TYPE(rel.r_info));
                r.symbolIndex = static_cast<std::uint32_t>(GELF_R_SYM(rel.r_info));
                // REL keeps the addend in the relocated word itself.
                if (auto word = bytesAt(r.offset, pointerSize()))
                    r.addend = static_cast<std::int64_t>(decode(word->data(), pointerSize()));
            }
            relocationByAddress_.emplace(r.offset, relocations_.size());
            relocations_.push_back(r);
        }
    }
}

const std::uint8_t *ElfImage::rawContent(const Section &section) const
{
    Elf_Data *data = elf_rawdata(scn(section.index), nullptr);
    if (!data || data->d_size < section.size || !data->d_buf)
        return nullptr;
    return static_cast<const std::uint8_t *>(data->d_buf);
}

const Relocation *ElfImage::relocationAt(std::uint64_t address) const
{
    auto it = relocationByAddress_.find(address);
    return it == relocationByAddress_.end() ? nullptr : &relocations_[it->second];
}

std::optional<std::vector<std::uint8_t>> ElfImage::sectionBytes(const Section &section) const
{
    // A damaged header can claim any NOBITS size; nothing real is larger than the file itself.
    if (section.type == SHT_NOBITS && section.size > fileSize_)
        return std::nullopt;
    if (section.type == SHT_NOBITS || section.size == 0)
        return std::vector<std::uint8_t>(section.size, 0);
    const std::uint8_t *begin = rawContent(section);
    if (!begin)
        return std::nullopt;
    return std::vector<std::uint8_t>(begin, begin + section.size);
}

std::optional<std::vector<std::uint8_t>> ElfImage::bytesAt(std::uint64_t address, std::size_t count) const
{
    for (const Section &s : sections_) {
        // TLS sections overlap ordinary addresses; they hold templates, not the image.
        if (!(s.flags & SHF_ALLOC) || (s.flags & SHF_TLS) || address < s.address || address - s.address > s.size ||
            count > s.size - (address - s.address) || count == 0)
            continue;
        if (s.type == SHT_NOBITS)
            return std::vector<std::uint8_t>(count, 0);
        const std::uint8_t *begin = rawContent(s);
        if (!begin)
            return std::nullopt;
        begin += address - s.address;
        return std::vector<std::uint8_t>(begin, begin + count);
    }
    return std::nullopt;
}

std::uint64_t ElfImage::decode(const std::uint8_t *bytes, std::size_t width) const
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        std::size_t at = littleEndian() ? width - 1 - i : i;
        value = (value << 8) | bytes[at];
    }
    return value;
}

} // namespace tapcheck
