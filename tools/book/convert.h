// The whole conversion from export file to "addrbook.dat", as the command line runs it.
#pragma once

#include <filesystem>
#include <ostream>

#include "import/entries.h"
#include "writer/bookWriter.h"

namespace book
{

struct Conversion {
    WrittenBook book;
    Entries entries;
    std::vector<Warning> warnings; // all of them, in the order found
};

// Reads, converts and formats; throws InputError or UsageError. Nothing is written.
Conversion convertExport(const std::filesystem::path &exportFile, const BookOptions &options);

// The same for contacts read elsewhere (vCards, the router over TR-064).
Conversion convertPhoneBook(const PhoneBook &phoneBook, const BookOptions &options);

// Saves the book; warnings and a summary go to `messages`. Throws OutputError.
void writeConversion(const Conversion &conversion, const std::filesystem::path &output, const BookOptions &options,
                     std::ostream &messages);

// Converts and saves; warnings and a summary go to `messages`. Throws InputError, UsageError or
// OutputError, in which case no output file was written.
void convertToFile(const std::filesystem::path &exportFile, const std::filesystem::path &output,
                   const BookOptions &options, std::ostream &messages);

} // namespace book
