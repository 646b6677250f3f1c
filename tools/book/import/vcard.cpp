// vCards as phones and web address books export them. Lines are unfolded first (a line starting with
// a blank continues the one before; in 2.1 a quoted-printable value ending in "=" goes on in the next
// line), then each property is read by name: FN or N for the name, every TEL with its type, PHOTO
// inline (base64 in each version's spelling, or a data: URI). Apple's "itemN.X-ABLabel" names the type
// of the number in the same group.
#include <openssl/evp.h>

#include <algorithm>
#include <map>

#include "import/phoneBook.h"
#include "writer/latin1.h"

namespace book
{

namespace
{

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct Property {
    std::string group, name;                   // name in upper case
    std::map<std::string, std::string> params; // upper-case keys; bare 2.1 parameters under "TYPE"
    std::string value;
    int line = 0;
};

std::vector<std::pair<std::string, int>> unfoldedLines(const std::string &bytes)
{
    std::vector<std::pair<std::string, int>> lines;
    int number = 0;
    bool softBreak = false;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = std::min(bytes.find('\n', start), bytes.size());
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!lines.empty() && (softBreak || (!line.empty() && (line[0] == ' ' || line[0] == '\t')))) {
            lines.back().first += softBreak ? line : line.substr(1);
        } else if (!line.empty()) {
            lines.push_back({line, number});
        } else {
            softBreak = false;
            continue;
        }
        const std::string &whole = lines.back().first;
        softBreak = whole.back() == '=' &&
                    upper(whole.substr(0, whole.find(':'))).find("QUOTED-PRINTABLE") != std::string::npos;
        if (softBreak)
            lines.back().first.pop_back();
    }
    return lines;
}

Property parseProperty(const std::string &line, int number)
{
    Property p;
    p.line = number;
    // The colon that ends name and parameters is the first one outside a quoted parameter value.
    std::size_t colon = std::string::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size() && colon == std::string::npos; ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            colon = i;
    }
    std::string head = line.substr(0, colon);
    p.value = colon == std::string::npos ? "" : line.substr(colon + 1);
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= head.size();) {
        std::size_t semicolon = std::min(head.find(';', start), head.size());
        parts.push_back(head.substr(start, semicolon - start));
        start = semicolon + 1;
    }
    std::string name = upper(parts[0]);
    if (auto dot = name.find('.'); dot != std::string::npos) {
        p.group = name.substr(0, dot);
        name = name.substr(dot + 1);
    }
    p.name = name;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        auto equals = parts[i].find('=');
        std::string key = equals == std::string::npos ? "TYPE" : upper(parts[i].substr(0, equals));
        std::string value = equals == std::string::npos ? parts[i] : parts[i].substr(equals + 1);
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        std::string upperValue = upper(value);
        if (equals == std::string::npos &&
            (upperValue == "BASE64" || upperValue == "QUOTED-PRINTABLE" || upperValue == "B"))
            key = "ENCODING";
        std::string &slot = p.params[key];
        slot += (slot.empty() ? "" : ",") + (key == "TYPE" || key == "ENCODING" ? lower(value) : value);
    }
    return p;
}

std::string quotedPrintable(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string base64(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); }), text.end());
    while (text.size() % 4 != 0)
        text += '=';
    std::string out(text.size() / 4 * 3, '\0');
    int length = EVP_DecodeBlock(reinterpret_cast<unsigned char *>(out.data()),
                                 reinterpret_cast<const unsigned char *>(text.data()), static_cast<int>(text.size()));
    if (length < 0)
        return "";
    std::size_t padding = text.size() - std::min(text.size(), text.find_last_not_of('=') + 1);
    out.resize(static_cast<std::size_t>(length) - std::min<std::size_t>(padding, static_cast<std::size_t>(length)));
    return out;
}

// Text values in 3.0 and 4.0 escape commas, semicolons, backslashes and line ends.
std::string unescaped(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char c = text[++i];
            out += c == 'n' || c == 'N' ? ' ' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The value as UTF-8 text: decoded as its parameters say, in its character set.
std::string textOf(const Property &p)
{
    auto encoding = p.params.find("ENCODING");
    std::string value =
        encoding != p.params.end() && encoding->second == "quoted-printable" ? quotedPrintable(p.value) : p.value;
    auto charset = p.params.find("CHARSET");
    if (charset != p.params.end() && upper(charset->second).find("8859-1") != std::string::npos)
        value = latin1ToUtf8(value);
    return value;
}

bool hasType(const std::string &types, const std::string &type)
{
    std::string list = "," + types + ",";
    return list.find("," + type + ",") != std::string::npos;
}

// The router's number types, so that the info texts are those of the router's export.
std::string numberType(const std::string &types)
{
    if (hasType(types, "fax"))
        return "fax_work";
    if (hasType(types, "cell") || hasType(types, "iphone"))
        return "mobile";
    if (hasType(types, "work"))
        return "work";
    if (hasType(types, "home"))
        return "home";
    return hasType(types, "voice") || types.empty() || types == "pref" ? "" : types;
}

std::string pictureExtension(const std::string &bytes)
{
    if (bytes.rfind("\x89PNG", 0) == 0)
        return ".png";
    if (bytes.size() > 12 && bytes.compare(4, 4, "ftyp") == 0)
        return ".heic";
    return ".jpg";
}

void readPhoto(const Property &p, Contact &contact, std::vector<std::string> &warnings, const std::string &who)
{
    std::string bytes;
    auto encoding = p.params.find("ENCODING");
    if (p.value.rfind("data:", 0) == 0) {
        auto comma = p.value.find(',');
        if (comma != std::string::npos && p.value.substr(0, comma).find(";base64") != std::string::npos)
            bytes = base64(p.value.substr(comma + 1));
    } else if (encoding != p.params.end() && (encoding->second == "b" || encoding->second == "base64")) {
        bytes = base64(p.value);
    } else {
        warnings.push_back(who + ": the photo is a link (" + p.value.substr(0, 60) +
                           "), not a picture in the card; left out");
        return;
    }
    if (bytes.empty()) {
        warnings.push_back(who + ": the photo (line " + std::to_string(p.line) + ") cannot be decoded; left out");
        return;
    }
    contact.photo = bytes;
    contact.imageUrl = "contact-" + std::to_string(contact.position) + pictureExtension(bytes);
}

} // namespace

bool looksLikeVCard(const std::string &bytes)
{
    std::size_t start = bytes.rfind("\357\273\277", 0) == 0 ? 3 : 0;
    start = bytes.find_first_not_of(" \t\r\n", start);
    return start != std::string::npos && upper(bytes.substr(start, 11)) == "BEGIN:VCARD";
}

PhoneBook parseVCards(const std::string &bytes, const std::string &sourceName)
{
    PhoneBook out;
    std::size_t bom = bytes.rfind("\357\273\277", 0) == 0 ? 3 : 0;
    bool inside = false;
    int begun = 0;
    Contact contact;
    std::string family, given;
    std::map<std::string, std::string> labels;                // group -> X-ABLabel
    std::vector<std::pair<std::string, std::size_t>> grouped; // group -> index of its number
    for (const auto &[line, number] : unfoldedLines(bytes.substr(bom))) {
        Property p = parseProperty(line, number);
        std::string value = upper(p.value);
        if (p.name == "BEGIN" && value == "VCARD") {
            if (inside)
                throw InputError(sourceName + ": line " + std::to_string(begun) + ": a card without END:VCARD");
            inside = true;
            begun = number;
            contact = Contact{};
            contact.position = static_cast<int>(out.contacts.size()) + 1;
            family.clear();
            given.clear();
            labels.clear();
            grouped.clear();
        } else if (!inside) {
            throw InputError(sourceName + ": line " + std::to_string(number) + ": \"" + line.substr(0, 40) +
                             "\" outside of BEGIN:VCARD ... END:VCARD; not a vCard file?");
        } else if (p.name == "END" && value == "VCARD") {
            if (contact.name.empty())
                contact.name = given.empty() || family.empty() ? given + family : given + " " + family;
            for (const auto &[group, index] : grouped)
                if (auto label = labels.find(group); label != labels.end())
                    contact.numbers[index].type = "label:" + label->second;
            out.contacts.push_back(std::move(contact));
            inside = false;
        } else if (p.name == "FN") {
            contact.name = unescaped(textOf(p));
        } else if (p.name == "N") {
            std::string n = textOf(p);
            auto semicolon = n.find(';');
            family = unescaped(n.substr(0, semicolon));
            std::string rest = semicolon == std::string::npos ? "" : n.substr(semicolon + 1);
            given = unescaped(rest.substr(0, rest.find(';')));
        } else if (p.name == "TEL") {
            std::string text = textOf(p);
            if (lower(text.substr(0, 4)) == "tel:")
                text = text.substr(4);
            text = text.substr(0, text.find(';')); // ";ext=" and the like of tel: URIs
            if (!p.group.empty())
                grouped.push_back({p.group, contact.numbers.size()});
            contact.numbers.push_back({text, numberType(p.params["TYPE"])});
        } else if (p.name == "X-ABLABEL" && !p.group.empty()) {
            // Apple's own labels ("_$!<Mobile>!$_") repeat the number's type; the owner's own say more.
            std::string label = unescaped(textOf(p));
            if (label.rfind("_$!<", 0) != 0)
                labels[p.group] = label;
        } else if (p.name == "PHOTO") {
            readPhoto(p, contact, out.warnings,
                      "contact " + std::to_string(contact.position) +
                          (contact.name.empty() ? "" : " \"" + contact.name + "\""));
        }
    }
    if (inside)
        throw InputError(sourceName + ": line " + std::to_string(begun) + ": a card without END:VCARD");
    out.names.push_back(sourceName);
    return out;
}

PhoneBook readContacts(const std::filesystem::path &file)
{
    std::string bytes = readInputFile(file);
    return looksLikeVCard(bytes) ? parseVCards(bytes, file.string()) : parsePhoneBook(bytes, file.string());
}

} // namespace book
