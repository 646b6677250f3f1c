// Contacts to entries. Everything the program would misread is changed here and reported: commas in
// names (a comma ends the name), characters without a Latin-1 form, numbers the router never sends.
#include "import/entries.h"

#include <map>

#include "writer/latin1.h"

namespace book
{

namespace
{

std::string describe(const Contact &contact)
{
    std::string name = contact.name.empty() ? "(no name)" : "\"" + contact.name + "\"";
    return "contact " + std::to_string(contact.position) + " " + name;
}

std::string joined(const std::vector<std::string> &items)
{
    std::string out;
    for (const auto &item : items)
        out += (out.empty() ? "" : " ") + item;
    return out;
}

std::string trimmedBlanks(const std::string &text)
{
    auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A name as the program gets it: Latin-1, no commas, no line ends.
std::string nameText(const std::string &utf8, const BookOptions &options, const std::string &subject,
                     std::vector<Warning> &warnings)
{
    Latin1Text latin1 = toLatin1(utf8);
    if (!latin1.transliterated.empty())
        warnings.push_back(
            {subject, "characters without a Latin-1 form transliterated: " + describe(latin1.transliterated)});
    if (!latin1.replaced.empty())
        warnings.push_back({subject, "characters without a Latin-1 form written as \"?\": " + joined(latin1.replaced)});
    if (latin1.controls > 0)
        warnings.push_back({subject, "control characters (tabs, line ends) in the name written as blanks"});
    std::string out;
    bool commas = false;
    for (char c : latin1.text) {
        if (c == ',') {
            out += options.commaReplacement;
            commas = true;
        } else {
            out += c;
        }
    }
    if (commas)
        warnings.push_back({subject, "comma in the name written as \"" + options.commaReplacement +
                                         "\" (a comma would end the name)"});
    return trimmedBlanks(out);
}

std::string pictureText(const std::string &url, const std::string &subject, std::vector<Warning> &warnings)
{
    std::string file = pictureFileName(url);
    Latin1Text latin1 = toLatin1(file);
    if (!latin1.transliterated.empty() || !latin1.replaced.empty() || latin1.controls > 0)
        warnings.push_back({subject, "picture file name \"" + file +
                                         "\" holds characters without a Latin-1 form: rename the picture"});
    std::string out = latin1.text;
    if (out.find(',') != std::string::npos) {
        for (char &c : out)
            if (c == ',')
                c = '_';
        warnings.push_back({subject, "comma in the picture file name written as \"_\": rename \"" + file + "\" to \"" +
                                         latin1ToUtf8(out) + "\""});
    }
    return out;
}

} // namespace

std::string infoForType(const std::string &type)
{
    static const std::map<std::string, std::string> texts = {
        {"home", "Privat"},   {"mobile", "Handy"}, {"work", "Arbeit"},    {"fax_work", "Fax"},
        {"intern", "Intern"}, {"memo", "Notiz"},   {"other", "Sonstige"},
    };
    auto found = texts.find(type);
    if (found != texts.end())
        return found->second;
    // Types the user named in the router's phone book come as "label:Name".
    if (type.rfind("label:", 0) == 0)
        return type.substr(6);
    return type;
}

std::string pictureFileName(const std::string &url)
{
    std::string file = url;
    auto slash = file.find_last_of("/\\");
    if (slash != std::string::npos)
        file = file.substr(slash + 1);
    auto query = file.find_first_of("?#");
    if (query != std::string::npos)
        file = file.substr(0, query);
    return file;
}

Entries collectEntries(const PhoneBook &phoneBook, const BookOptions &options)
{
    Entries out;
    auto &warnings = out.warnings;

    if (options.ownNumber) {
        NormalisedNumber own = normaliseNumber(*options.ownNumber, options.numbers);
        if (own.verdict != NormalisedNumber::Verdict::usable)
            throw UsageError("--own-number \"" + *options.ownNumber + "\" is no telephone number" +
                             (own.reason.empty() ? "" : ": it " + own.reason));
        Entry entry;
        entry.role = Entry::Role::own;
        entry.number = own.number;
        entry.who = "own line";
        entry.name = nameText(options.ownName.value_or(*options.ownNumber), options, entry.who, warnings);
        if (entry.number[0] != '0')
            warnings.push_back({entry.who, "number \"" + entry.number +
                                               "\" has no leading 0: it matches only while the settings give no "
                                               "AreaCode (--area-code puts one in front)"});
        out.list.push_back(entry);
    } else {
        out.list.push_back({Entry::Role::placeholder, placeholderNumber, placeholderName, "", "", "placeholder"});
    }
    if (options.suppressedName) {
        Entry entry;
        entry.role = Entry::Role::suppressed;
        entry.who = "entry for suppressed numbers";
        entry.name = nameText(*options.suppressedName, options, entry.who, warnings);
        out.list.push_back(entry);
    }

    for (const Contact &contact : phoneBook.contacts) {
        std::string subject = describe(contact);
        std::vector<Warning> found;
        std::string name = nameText(contact.name, options, subject, found);
        std::string picture = pictureText(contact.imageUrl, subject, found);
        int written = 0;
        for (const PhoneNumber &number : contact.numbers) {
            NormalisedNumber n = normaliseNumber(number.text, options.numbers);
            if (n.verdict == NormalisedNumber::Verdict::empty)
                continue;
            if (n.verdict == NormalisedNumber::Verdict::unusable) {
                found.push_back({subject, "number \"" + number.text + "\" " + n.reason + ": not written"});
                continue;
            }
            if (options.numbers.areaCode.empty() && n.number[0] != '0')
                found.push_back({subject, "number \"" + n.number +
                                              "\" has no leading 0: it matches only while the settings "
                                              "give no AreaCode (--area-code puts one in front)"});
            Entry entry;
            entry.number = n.number;
            entry.name = name;
            entry.picture = picture;
            Latin1Text info = toLatin1(infoForType(number.type));
            if (!info.replaced.empty() || !info.transliterated.empty())
                found.push_back({subject, "number type \"" + number.type +
                                              "\" holds characters without a Latin-1 form, written as \"" +
                                              latin1ToUtf8(info.text) + "\""});
            entry.info = info.text;
            entry.who = subject;
            if (name.empty()) {
                entry.name = n.number;
                if (written == 0)
                    found.push_back({subject, "no name: its numbers are written as their own names"});
            }
            out.list.push_back(entry);
            written++;
        }
        if (written == 0) {
            found.push_back({subject, "no telephone number: not written"});
            out.contactsSkipped++;
        } else {
            out.contactsUsed++;
        }
        warnings.insert(warnings.end(), found.begin(), found.end());
    }
    return out;
}

} // namespace book
