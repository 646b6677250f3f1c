// The steps of `fetch`: which phone book, its XML, the own numbers, the pictures, then the same writer
// and picture maker as `convert` and `pictures`.
#include "router/fetch.h"

#include <pugixml.hpp>

#include <cstdlib>
#include <unistd.h>

#include "check/receiverDisk.h"
#include "convert.h"
#include "pictures/pictureMaker.h"
#include "writer/latin1.h"

namespace fs = std::filesystem;

namespace book
{

namespace
{

constexpr const char *onTel = "urn:dslforum-org:service:X_AVM-DE_OnTel:1";
constexpr const char *onTelUrl = "/upnp/control/x_contact";
constexpr const char *voip = "urn:dslforum-org:service:X_VoIP:1";
constexpr const char *voipUrl = "/upnp/control/x_voip";

std::string sessionOf(const std::string &url)
{
    auto at = url.find("sid=");
    if (at == std::string::npos || (at > 0 && url[at - 1] != '?' && url[at - 1] != '&'))
        return "";
    return url.substr(at + 4, url.find('&', at) == std::string::npos ? std::string::npos : url.find('&', at) - at - 4);
}

// A contact's picture as the router hands it out: from its own address, with the phone book's session.
std::string picturePath(const std::string &imageUrl, const std::string &session)
{
    // The web export names the router's files as files; the router hands them out by download.lua.
    std::string path =
        imageUrl.rfind("file://", 0) == 0 ? "/download.lua?path=" + imageUrl.substr(7) : pathOf(imageUrl);
    if (session.empty() || !sessionOf(path).empty())
        return path;
    return path + (path.find('?') == std::string::npos ? "?sid=" : "&sid=") + session;
}

const RouterPhoneBook &choose(const std::vector<RouterPhoneBook> &books, const std::optional<std::string> &wanted)
{
    if (!wanted)
        return books.front();
    for (const auto &b : books)
        if (b.id == *wanted || b.name == *wanted)
            return b;
    std::string known;
    for (const auto &b : books)
        known += (known.empty() ? "" : ", ") + b.id + " \"" + b.name + "\"";
    throw UsageError("the router has no phone book \"" + *wanted + "\"; it has " + known);
}

struct TemporaryFolder {
    fs::path path;
    TemporaryFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "ringwatcher-fetch-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw OutputError("no temporary folder for the pictures");
        path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

} // namespace

std::vector<RouterPhoneBook> routerPhoneBooks(Tr064Client &client)
{
    std::string list = client.call(onTel, onTelUrl, "GetPhonebookList")["NewPhonebookList"];
    std::vector<RouterPhoneBook> books;
    for (std::size_t start = 0; start < list.size();) {
        std::size_t comma = std::min(list.find(',', start), list.size());
        std::string id = list.substr(start, comma - start);
        start = comma + 1;
        if (id.empty())
            continue;
        auto answer = client.call(onTel, onTelUrl, "GetPhonebook", {{"NewPhonebookID", id}});
        books.push_back({id, answer["NewPhonebookName"], answer["NewPhonebookURL"]});
    }
    return books;
}

OwnNumbers parseNumberList(const std::string &xml)
{
    pugi::xml_document document;
    if (!document.load_buffer(xml.data(), xml.size()) || !document.child("List"))
        throw InputError("the router's list of own numbers is no readable XML");
    OwnNumbers out;
    for (pugi::xml_node item : document.child("List").children("Item")) {
        std::string number = item.child_value("Number");
        if (number.empty())
            continue;
        out.numbers.push_back(number);
        out.names.emplace_back(item.child_value("Name"));
    }
    return out;
}

OwnNumbers routerOwnNumbers(Tr064Client &client)
{
    OwnNumbers out = parseNumberList(client.call(voip, voipUrl, "X_AVM-DE_GetNumbers")["NewNumberList"]);
    out.areaCode = client.call(voip, voipUrl, "GetVoIPCommonAreaCode")["NewVoIPAreaCode"];
    return out;
}

std::string withSettings(const std::string &contents, const std::vector<std::pair<std::string, std::string>> &values)
{
    std::vector<bool> done(values.size());
    std::string out;
    for (std::size_t start = 0; start < contents.size();) {
        std::size_t end = contents.find('\n', start);
        end = end == std::string::npos ? contents.size() : end + 1;
        std::string line = contents.substr(start, end - start);
        start = end;
        std::size_t first = line.find_first_not_of(" \t");
        for (std::size_t i = 0; i < values.size() && first != std::string::npos; ++i) {
            const std::string &name = values[i].first;
            std::size_t after = line.find_first_not_of(" \t", first + name.size());
            if (line.compare(first, name.size(), name) != 0 || after == std::string::npos || line[after] != '=')
                continue;
            std::string ending = line.size() > 1 && line[line.size() - 2] == '\r' ? "\r\n"
                                 : line.back() == '\n'                            ? "\n"
                                                                                  : "";
            line = line.substr(0, after + 1) + " " + values[i].second + ending;
            done[i] = true;
        }
        out += line;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (done[i])
            continue;
        if (!out.empty() && out.back() != '\n')
            out += '\n';
        out += values[i].first + " = " + values[i].second + "\n";
    }
    return out;
}

int fetchToDisk(const FetchOptions &options, std::ostream &out)
{
    Tr064Client client(options.router, options.user, options.password);
    std::string model = client.describe();
    out << "router " << options.router.base() << ": " << (model.empty() ? "TR-064" : model) << '\n';
    std::vector<RouterPhoneBook> books = routerPhoneBooks(client);
    if (options.listOnly) {
        for (const auto &b : books)
            out << "phone book " << b.id << ": " << b.name << '\n';
        return 0;
    }
    if (books.empty())
        throw RouterError("the router has no phone book (FRITZ!Box: Telefonie > Telefonbuch)");
    const RouterPhoneBook &chosen = choose(books, options.phoneBook);
    std::string sourceName = "phone book \"" + chosen.name + "\"";
    PhoneBook phoneBook = parsePhoneBook(client.download(pathOf(chosen.url), "the " + sourceName), sourceName);
    out << sourceName << " (id " << chosen.id << "; the router has " << books.size()
        << "): " << phoneBook.contacts.size() << " contact(s)\n";
    if (phoneBook.contacts.empty())
        out << "warning: the " << sourceName << " on the router is empty: the address book names no caller; "
            << "choose another one with --phonebook (--list shows them)\n";

    BookOptions bookOptions = options.book;
    OwnNumbers own;
    try {
        own = routerOwnNumbers(client);
        std::string shown;
        for (std::size_t i = 0; i < own.numbers.size(); ++i)
            shown += (i ? ", " : "") + own.numbers[i] + (own.names[i].empty() ? "" : " (" + own.names[i] + ")");
        out << "own numbers: " << (shown.empty() ? "none" : shown) << "; area code "
            << (own.areaCode.empty() ? "none" : own.areaCode) << '\n';
    } catch (const std::exception &error) {
        out << "warning: own numbers: " << error.what() << "; the address book starts with a placeholder\n";
    }
    if (!options.areaCodeGiven)
        bookOptions.numbers.areaCode = own.areaCode;
    if (!bookOptions.ownNumber && !own.numbers.empty()) {
        bookOptions.ownNumber = own.numbers.front();
        bookOptions.ownName = own.names.front().empty() ? own.numbers.front() : own.names.front();
    }

    DiskLayout layout = diskLayout(options.disk);
    fs::create_directories(layout.book.parent_path());
    writeConversion(convertPhoneBook(phoneBook, bookOptions, previousBook(layout.book)), layout.book, bookOptions, out);

    TemporaryFolder photos;
    std::string session = sessionOf(chosen.url);
    int fetched = 0;
    for (const Contact &contact : phoneBook.contacts) {
        std::string file = pictureFileName(contact.imageUrl);
        if (contact.imageUrl.empty() || file.empty() || fs::exists(photos.path / file))
            continue;
        try {
            saveAtomically(photos.path / file,
                           client.download(picturePath(contact.imageUrl, session), "its picture " + file));
            ++fetched;
        } catch (const RouterError &error) {
            out << "warning: " << contact.name << ": " << error.what() << '\n';
        }
    }
    out << "pictures: " << fetched << " fetched from the router\n";
    PictureOptions pictureOptions{photos.path, layout.pictures, layout.book, options.placement};
    PictureRun run = makePictures(pictureOptions);
    printPictureRun(out, pictureOptions, run);

    if (options.settings) {
        std::string msn;
        for (const auto &number : own.numbers)
            msn += (msn.empty() ? "" : ",") + number;
        std::error_code ec;
        std::string before = fs::exists(layout.settings, ec) ? readInputFile(layout.settings) : "";
        saveAtomically(layout.settings,
                       withSettings(before, {{"MSN", msn}, {"AreaCode", bookOptions.numbers.areaCode}}));
        out << layout.settings.string() << ": MSN = " << msn << ", AreaCode = " << bookOptions.numbers.areaCode << '\n';
    }
    return run.failed() > 0 ? 1 : 0;
}

} // namespace book
