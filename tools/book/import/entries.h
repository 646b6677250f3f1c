// From the router's contacts to address-book entries: one per number, in Latin-1, with the own line
// first and, if asked for, an entry for callers who suppress their number.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "import/numbers.h"
#include "import/phoneBook.h"

namespace book
{

struct BookOptions {
    NumberRules numbers;
    std::optional<std::string> ownNumber; // UTF-8, as given on the command line
    std::optional<std::string> ownName;
    std::optional<std::string> suppressedName;
    std::string commaReplacement = ";"; // "Mueller, Hans" becomes "Mueller; Hans"
};

// The placeholder that stands first when no own number is given: the router's numbers hold digits,
// "*" and "#" only, so no call can match it.
inline constexpr const char *placeholderNumber = "-";
inline constexpr const char *placeholderName = "Platzhalter";

struct Entry {
    enum class Role { own, placeholder, suppressed, contact };
    Role role = Role::contact;
    std::string number, name, picture, info; // Latin-1, not yet cut to the program's limits
    std::string who;                         // UTF-8, names the entry in messages
};

struct Warning {
    std::string subject; // UTF-8: the contact, or empty for the whole book
    std::string text;
};

struct Entries {
    std::vector<Entry> list;
    std::vector<Warning> warnings;
    int contactsUsed = 0;
    int contactsSkipped = 0;
};

// A command-line value the tool cannot use (an own number that is no number, ...).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Entries collectEntries(const PhoneBook &phoneBook, const BookOptions &options);

// The info text of a number type: "home" is "Privat", "mobile" "Handy", ...
std::string infoForType(const std::string &type);
// The bare file name of a picture URL: ".../fonpix/1.jpg" is "1.jpg".
std::string pictureFileName(const std::string &url);

} // namespace book
