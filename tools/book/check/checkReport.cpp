// Report of a check in the form compilers use: "file:line: severity: text".
#include "check/check.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "import/phoneBook.h"
#include "writer/latin1.h"

namespace book
{

std::size_t CheckReport::count(Finding::Severity severity) const
{
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(), [&](const Finding &f) { return f.severity == severity; }));
}

void CheckReport::add(int line, Finding::Severity severity, std::string text)
{
    findings.push_back({line, severity, std::move(text)});
}

std::string shownPrint(const std::string &print)
{
    std::string text = print;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return latin1ToUtf8(text);
}

std::string readCheckedFile(const std::filesystem::path &file)
{
    std::string bytes = readInputFile(file);
    if (bytes.size() > checkedFileMax)
        throw InputError(file.string() + ": " + std::to_string(bytes.size()) +
                         " bytes is far too large for an address book or settings file");
    return bytes;
}

void printCheckReport(std::ostream &out, const CheckReport &report)
{
    static const char *const names[] = {"error", "warning", "note"};
    std::vector<Finding> sorted = report.findings;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Finding &a, const Finding &b) { return a.line < b.line; });
    for (const Finding &f : sorted) {
        out << report.file;
        if (f.line > 0)
            out << ':' << f.line;
        out << ": " << names[static_cast<int>(f.severity)] << ": " << f.text << '\n';
    }
    for (const auto &line : report.summary)
        out << report.file << ": " << line << '\n';
    if (report.programPrints.empty()) {
        out << report.file << ": the program loads it without an error message.\n";
    } else {
        out << report.file << ": the program prints at start-up:\n";
        for (const auto &print : report.programPrints)
            out << "    " << shownPrint(print) << '\n';
    }
    out << report.file << ": " << report.count(Finding::Severity::error) << " error(s), "
        << report.count(Finding::Severity::warning) << " warning(s), " << report.count(Finding::Severity::note)
        << " note(s)\n";
}

} // namespace book
