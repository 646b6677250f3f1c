// ringwatcher-book fetch: the router's phone book, its contacts' pictures and its own numbers made
// into a receiver disk ready to copy, and on request the own numbers and area code into the settings.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "import/entries.h"
#include "pictures/picture.h"
#include "router/tr064Client.h"

namespace book
{

struct FetchOptions {
    RouterAddress router;
    std::string user, password;
    std::filesystem::path disk;
    std::optional<std::string> phoneBook; // name or id; the first one when empty
    bool listOnly = false;                // print the phone books and stop
    bool settings = false;                // "MSN" and "AreaCode" into ringwatcher.ini
    bool areaCodeGiven = false;           // book.numbers.areaCode given by the owner, not the router
    BookOptions book;                     // ownNumber/ownName empty: the router's first own number
    Placement placement = Placement::crop;
};

struct RouterPhoneBook {
    std::string id, name, url;
};

std::vector<RouterPhoneBook> routerPhoneBooks(Tr064Client &client);

struct OwnNumbers {
    std::vector<std::string> numbers, names; // as the router lists them
    std::string areaCode;
};
OwnNumbers routerOwnNumbers(Tr064Client &client);

// Reads the number list the router hands out in "NewNumberList"; InputError when it is no such list.
OwnNumbers parseNumberList(const std::string &xml);

// Everything `fetch` does, its report to `out`. Returns the exit status: 0 done, 1 with pictures that
// could not be read. Throws RouterError, InputError, UsageError or OutputError.
int fetchToDisk(const FetchOptions &options, std::ostream &out);

// Sets `Name = value` for each pair in a settings file's text, keeping every other line, comment and
// line end; a setting not yet there is added at the end.
std::string withSettings(const std::string &contents, const std::vector<std::pair<std::string, std::string>> &values);

} // namespace book
