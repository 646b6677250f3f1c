// Read-only view of one ELF file through libelf: sections, symbols, dynamic entries, relocations and
// the bytes at a load address. Works for both ELF classes and byte orders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <gelf.h>

namespace tapcheck
{

struct Section {
    std::size_t index = 0;
    std::string name;
    std::uint32_t type = 0;
    std::uint64_t flags = 0, address = 0, size = 0, entrySize = 0;
    std::uint32_t link = 0;
};

struct Symbol {
    std::size_t index = 0;
    std::string name;
    std::uint64_t value = 0, size = 0;
    unsigned type = STT_NOTYPE, bind = STB_LOCAL, visibility = STV_DEFAULT;
    std::uint16_t sectionIndex = SHN_UNDEF;
    std::uint16_t versionIndex = 0; // from .gnu.version, 0 when there is none

    bool defined() const { return sectionIndex != SHN_UNDEF; }
    bool local() const { return bind == STB_LOCAL; }
};

struct Relocation {
    std::uint64_t offset = 0;
    std::uint32_t type = 0;
    std::uint32_t symbolIndex = 0;
    std::int64_t addend = 0; // from the entry (RELA) or read from the relocated word (REL)
    std::string sectionName;
};

struct DynamicEntry {
    std::int64_t tag = 0;
    std::uint64_t value = 0;
};

class ElfImage
{
  public:
    // Throws std::runtime_error when the file is missing or is no ELF file libelf can read.
    explicit ElfImage(const std::filesystem::path &path);
    ~ElfImage();
    ElfImage(const ElfImage &) = delete;
    ElfImage &operator=(const ElfImage &) = delete;

    const GElf_Ehdr &header() const { return header_; }
    int elfClass() const { return header_.e_ident[EI_CLASS]; }
    bool littleEndian() const { return header_.e_ident[EI_DATA] == ELFDATA2LSB; }
    std::size_t pointerSize() const { return elfClass() == ELFCLASS64 ? 8 : 4; }

    const std::vector<Section> &sections() const { return sections_; }
    const Section *section(const std::string &name) const;
    const Section *sectionByIndex(std::size_t index) const;
    const std::vector<GElf_Phdr> &programHeaders() const { return programHeaders_; }

    const std::vector<Symbol> &dynamicSymbols() const { return dynamicSymbols_; }
    const std::vector<Symbol> &staticSymbols() const { return staticSymbols_; }
    const Symbol *dynamicSymbol(const std::string &name) const;
    // The defined symbol of either table that starts at `address` and is not a section or file name.
    const Symbol *symbolAt(std::uint64_t address) const;

    const std::vector<DynamicEntry> &dynamicEntries() const { return dynamic_; }
    std::optional<std::uint64_t> dynamicValue(std::int64_t tag) const;
    std::string dynamicString(std::uint64_t offset) const;
    // Version names required from other libraries, by version index (.gnu.version_r).
    std::string neededVersionName(std::uint16_t versionIndex) const;
    bool hasNeededVersions() const { return !neededVersions_.empty(); }

    const std::vector<Relocation> &dynamicRelocations() const { return relocations_; }
    const Relocation *relocationAt(std::uint64_t address) const;

    // Bytes of the loaded image at `address`; zeros inside NOBITS sections; nothing when the range
    // is not inside one allocated section. Section contents come back only when the file holds them
    // (or, for NOBITS, when they are of a believable size).
    std::optional<std::vector<std::uint8_t>> bytesAt(std::uint64_t address, std::size_t count) const;
    std::optional<std::vector<std::uint8_t>> sectionBytes(const Section &section) const;
    std::uint64_t decode(const std::uint8_t *bytes, std::size_t width) const;

  private:
    void readSections();
    void readSymbols(const Section &table, std::vector<Symbol> &into);
    void readDynamic();
    void readVersions();
    void readRelocations();
    Elf_Scn *scn(std::size_t index) const;
    const std::uint8_t *rawContent(const Section &section) const;

    int fd_ = -1;
    Elf *elf_ = nullptr;
    GElf_Ehdr header_{};
    std::vector<Section> sections_;
    std::vector<GElf_Phdr> programHeaders_;
    std::vector<Symbol> dynamicSymbols_, staticSymbols_;
    std::vector<DynamicEntry> dynamic_;
    std::vector<std::pair<std::uint16_t, std::string>> neededVersions_;
    std::vector<Relocation> relocations_;
    std::unordered_map<std::uint64_t, std::size_t> relocationByAddress_;
    std::uint64_t fileSize_ = 0;
    std::size_t dynamicSymbolSection_ = 0;
    std::uint32_t dynamicStringSection_ = 0;
};

} // namespace tapcheck
