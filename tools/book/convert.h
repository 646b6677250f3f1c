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
    int picturesKept = 0;          // taken over from the book that was there before
};

// Reads, converts and formats; throws InputError or UsageError. Nothing is written.
Conversion convertExport(const std::filesystem::path &exportFile, const BookOptions &options);

// The same for contacts read elsewhere (vCards, the router over TR-064). With the book that was there
// before, a number without a picture of its own keeps the one that book gave it (`pictures` names them).
Conversion convertPhoneBook(const PhoneBook &phoneBook, const BookOptions &options,
                            const std::string &previousBook = "");

// The book at `file` when there is one, else "".
std::string previousBook(const std::filesystem::path &file);

// Saves the book; warnings and a summary go to `messages`. Throws OutputError.
void writeConversion(const Conversion &conversion, const std::filesystem::path &output, const BookOptions &options,
                     std::ostream &messages);

// Converts and saves; warnings and a summary go to `messages`. Throws InputError, UsageError or
// OutputError, in which case no output file was written.
void convertToFile(const std::filesystem::path &exportFile, const std::filesystem::path &output,
                   const BookOptions &options, std::ostream &messages);

} // namespace book
