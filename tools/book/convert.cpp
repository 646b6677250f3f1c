// Export file in, address book out, every change reported.
#include "convert.h"

#include "import/phoneBook.h"

namespace book
{

Conversion convertExport(const std::filesystem::path &exportFile, const BookOptions &options)
{
    return convertPhoneBook(readContacts(exportFile), options);
}

Conversion convertPhoneBook(const PhoneBook &phoneBook, const BookOptions &options)
{
    Conversion out;
    out.entries = collectEntries(phoneBook, options);
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
    writeConversion(convertExport(exportFile, options), output, options, messages);
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
}

} // namespace book
