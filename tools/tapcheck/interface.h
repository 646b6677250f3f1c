// The checked interface list (interface.txt): what the program must export and may import.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tapcheck
{

// How the bytes of an identification object must look; every kind but Any ends in NUL padding.
enum class ContentKind { Date, Text, ExactText, ExactBytes, Any };

struct IdentObject {
    std::string symbol;
    std::string section;
    std::uint64_t size = 0;
    ContentKind content = ContentKind::Any;
    std::string expected; // the exact text or bytes for ExactText and ExactBytes
};

// Image names are patterns with one '%' standing for the image's own name.
struct ImagePattern {
    std::string descriptorPrefix, descriptorSuffix;
    std::string dataPrefix, dataSuffix;
};

struct Interface {
    std::vector<std::string> entries;
    std::vector<IdentObject> idents;
    std::vector<ImagePattern> images;
    std::vector<std::string> firmware;
    std::vector<std::string> libc;
    std::vector<std::string> needed;
    std::vector<std::string> sanitizerImports;
    std::vector<std::string> sanitizerNeeded;
    std::vector<std::string> sanitizerExports;
    std::vector<std::string> sanitizerConstructors;

    bool isEntry(std::string_view name) const;
    const IdentObject *ident(std::string_view name) const;
    bool isFirmware(std::string_view name) const;
    bool isLibc(std::string_view name) const;
};

// Throws std::runtime_error naming file and line for anything it cannot read.
Interface loadInterface(const std::filesystem::path &path);
Interface parseInterface(std::string_view text, const std::string &origin);

// Shell wildcard match, as used by the pattern lines.
bool matchesPattern(std::string_view pattern, std::string_view name);
bool matchesAny(const std::vector<std::string> &patterns, std::string_view name);

// The image name when `symbol` has the given prefix and suffix around a non-empty C identifier.
bool splitImageName(std::string_view symbol, std::string_view prefix, std::string_view suffix, std::string &imageName);

} // namespace tapcheck
