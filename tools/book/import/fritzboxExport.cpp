// Reads the router's phone-book export with pugixml. The router writes UTF-8 or ISO-8859-1 and says so
// in the prolog; any other declared encoding is refused rather than guessed.
#include "import/phoneBook.h"

#include <pugixml.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <string_view>

namespace book
{

namespace
{

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

pugi::xml_encoding encodingOf(const std::string &bytes, const std::string &sourceName)
{
    // A byte-order mark says it all; pugixml reads it.
    std::string_view start(bytes.data(), std::min<std::size_t>(bytes.size(), 3));
    if (start == "\357\273\277" || start.substr(0, 2) == "\376\377" || start.substr(0, 2) == "\377\376" ||
        (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0')))
        return pugi::encoding_auto;
    static const std::regex declaration(R"(^\s*<\?xml[^>]*?encoding\s*=\s*["']([^"']*)["'])");
    std::smatch match;
    std::string head = bytes.substr(0, 256);
    if (!std::regex_search(head, match, declaration))
        return pugi::encoding_utf8;
    std::string name = lowered(match[1].str());
    if (name == "utf-8" || name == "utf8" || name == "us-ascii" || name == "ascii")
        return pugi::encoding_utf8;
    if (name == "iso-8859-1" || name == "iso8859-1" || name == "iso_8859-1" || name == "latin1" || name == "latin-1")
        return pugi::encoding_latin1;
    throw InputError(sourceName + ": the export declares the encoding \"" + match[1].str() +
                     "\"; only UTF-8 and ISO-8859-1 are supported");
}

std::string position(const std::string &bytes, std::ptrdiff_t offset)
{
    if (offset < 0 || static_cast<std::size_t>(offset) > bytes.size())
        return "";
    auto line = 1 + std::count(bytes.begin(), bytes.begin() + offset, '\n');
    auto lineStart = bytes.rfind('\n', offset == 0 ? 0 : offset - 1);
    auto column = offset - (lineStart == std::string::npos ? 0 : static_cast<std::ptrdiff_t>(lineStart) + 1) + 1;
    return ", line " + std::to_string(line) + " column " + std::to_string(column);
}

std::string trimmed(std::string_view text)
{
    const char *blanks = " \t\r\n";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return "";
    auto last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

void readContacts(const pugi::xml_node &phonebook, PhoneBook &out)
{
    for (pugi::xml_node contact : phonebook.children("contact")) {
        Contact c;
        c.position = static_cast<int>(out.contacts.size()) + 1;
        pugi::xml_node person = contact.child("person");
        c.name = trimmed(person.child_value("realName"));
        c.imageUrl = trimmed(person.child_value("imageURL"));
        for (pugi::xml_node number : contact.child("telephony").children("number"))
            c.numbers.push_back({trimmed(number.child_value()), trimmed(number.attribute("type").value())});
        out.contacts.push_back(std::move(c));
    }
}

} // namespace

PhoneBook parsePhoneBook(const std::string &bytes, const std::string &sourceName)
{
    pugi::xml_document document;
    pugi::xml_parse_result result =
        document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, encodingOf(bytes, sourceName));
    if (!result)
        throw InputError(sourceName + ": malformed XML: " + result.description() + position(bytes, result.offset));

    PhoneBook out;
    pugi::xml_node root = document.document_element();
    std::string rootName = root.name();
    if (rootName == "phonebooks") {
        for (pugi::xml_node phonebook : root.children("phonebook")) {
            out.names.emplace_back(phonebook.attribute("name").value());
            readContacts(phonebook, out);
        }
    } else if (rootName == "phonebook") {
        out.names.emplace_back(root.attribute("name").value());
        readContacts(root, out);
    } else {
        throw InputError(sourceName + ": not a phone-book export: the document is <" + rootName +
                         ">, not <phonebooks>");
    }
    return out;
}

std::string readInputFile(const std::filesystem::path &file)
{
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec))
        throw InputError(file.string() + ": is a folder");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw InputError(file.string() + ": cannot be read");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw InputError(file.string() + ": read error");
    return bytes;
}

PhoneBook readPhoneBook(const std::filesystem::path &file)
{
    return parsePhoneBook(readInputFile(file), file.string());
}

} // namespace book
