// The router's phone book as read from its XML export: texts in UTF-8, exactly as the export holds them.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace book
{

struct PhoneNumber {
    std::string text; // as written in the export, e.g. "+49 30 1234-56"
    std::string type; // "home", "mobile", "work", "fax_work", ...
};

struct Contact {
    std::string name;     // realName; may be empty
    std::string imageUrl; // may be empty
    std::vector<PhoneNumber> numbers;
    int position = 0; // 1-based among all contacts of the export, for messages
};

struct PhoneBook {
    std::vector<std::string> names; // of the <phonebook> elements
    std::vector<Contact> contacts;  // of all phone books, in file order
};

// Input the tool cannot work with: unreadable, malformed, not a phone-book export.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

PhoneBook readPhoneBook(const std::filesystem::path &file);

// A whole input file's bytes; InputError when it is a folder or unreadable.
std::string readInputFile(const std::filesystem::path &file);
PhoneBook parsePhoneBook(const std::string &bytes, const std::string &sourceName);

} // namespace book
