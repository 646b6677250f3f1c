// Export file in, address book out, every change reported.
#include "convert.h"

#include <map>

#include "import/phoneBook.h"
#include "writer/bookLines.h"

namespace book
{

Conversion convertExport(const std::filesystem::path &exportFile, const BookOptions &options)
{
    return convertPhoneBook(readContacts(exportFile), options);
}

std::string previousBook(const std::filesystem::path &file)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec) ? readInputFile(file) : "";
}

Conversion convertPhoneBook(const PhoneBook &phoneBook, const BookOptions &options, const std::string &previousBook)
{
    Conversion out;
    out.entries = collectEntries(phoneBook, options);
    std::map<std::string, std::string> pictures;
    for (const BookLine &line : readBookLines(previousBook))
        if (line.entry && !line.picture.empty() && line.picture != "unknown.jpg")
            pictures.emplace(line.number, line.picture);
    for (Entry &entry : out.entries.list) {
        auto kept = pictures.find(entry.number);
        if (entry.role == Entry::Role::contact && entry.picture.empty() && kept != pictures.end()) {
            entry.picture = kept->second;
            out.picturesKept++;
        }
    }
    out.book = formatBook(out.entries);
    for (const std::string &w : phoneBook.warnings)
        out.warnings.push_back({"", w});
    out.warnings.insert(out.warnings.end(), out.entries.warnings.begin(), out.entries.warnings.end());
    out.warnings.insert(out.warnings.end(), out.book.warnings.begin(), out.book.warnings.end());
    if (phoneBook.contacts.empty())
        out.warnings.push_back({"", "the export holds no contacts"});
    return out;
}

void convertToFile(const std::filesystem::path &exportFile, const std::filesystem::path &output,
                   const BookOptions &options, std::ostream &messages)
{
    writeConversion(convertPhoneBook(readContacts(exportFile), options, previousBook(output)), output, options,
                    messages);
}

void writeConversion(const Conversion &conversion, const std::filesystem::path &output, const BookOptions &options,
                     std::ostream &messages)
{
    saveAtomically(output, conversion.book.contents);
    for (const Warning &w : conversion.warnings)
        messages << "warning: " << (w.subject.empty() ? "" : w.subject + ": ") << w.text << '\n';
    const Entries &entries = conversion.entries;
    messages << output.string() << ": " << conversion.book.entries << " entries written ("
             << (options.ownNumber ? "own line" : "placeholder")
             << (options.suppressedName ? ", suppressed numbers" : "") << ", " << entries.contactsUsed << " contact(s)";
    if (entries.contactsSkipped > 0)
        messages << "; " << entries.contactsSkipped << " contact(s) without a usable number";
    messages << "), " << conversion.warnings.size() << " warning(s)\n";
    if (conversion.picturesKept > 0)
        messages << output.string() << ": " << conversion.picturesKept
                 << " entry picture(s) kept from the address book that was there\n";
}

} // namespace book
