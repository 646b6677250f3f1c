// The text of "addrbook.dat" from the entries, cut where the program cuts, and the file written whole
// or not at all.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "import/entries.h"

namespace book
{

struct WrittenBook {
    std::string contents;    // Latin-1 bytes, LF line ends
    std::size_t entries = 0; // entry lines written, the first one included
    std::size_t dropped = 0; // entries beyond the program's 128
    std::vector<Warning> warnings;
};

WrittenBook formatBook(const Entries &entries);

struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Writes a temporary file beside `file` and renames it over `file` once it is complete, so that a
// failure never leaves half an address book for the receiver.
void saveAtomically(const std::filesystem::path &file, const std::string &contents);

} // namespace book
