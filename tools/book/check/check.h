// Checks of "addrbook.dat" and "ringwatcher.ini": what the program reports when it loads the file,
// line by line, and what it silently cuts, drops or reads differently than written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace book
{

struct Finding {
    enum class Severity { error, warning, note };
    int line = 0; // physical line as the program counts it; 0 for the whole file
    Severity severity = Severity::note;
    std::string text; // UTF-8
};

struct CheckReport {
    std::string file;
    std::vector<Finding> findings;          // in line order
    std::vector<std::string> programPrints; // the program's own print lines, as it writes them
    std::vector<std::string> summary;

    // The program shows an error message when it loads the file.
    bool programReportsErrors() const { return !programPrints.empty(); }
    std::size_t count(Finding::Severity severity) const;
    void add(int line, Finding::Severity severity, std::string text);
};

// Files larger than this are no address book or settings file; the checker refuses them.
inline constexpr std::uintmax_t checkedFileMax = 1u << 20;

// Both throw InputError when the file cannot be read.
CheckReport checkAddressBook(const std::filesystem::path &file);
CheckReport checkSettings(const std::filesystem::path &file);

void printCheckReport(std::ostream &out, const CheckReport &report);

// A program print line for the terminal: Latin-1 as UTF-8, its line end dropped.
std::string shownPrint(const std::string &print);

// The file's bytes, or InputError.
std::string readCheckedFile(const std::filesystem::path &file);

} // namespace book
