// Contacts as read from the router's XML export or from vCards: texts in UTF-8, exactly as the file
// holds them.
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
    std::string photo; // picture bytes the contact carries itself (a vCard's PHOTO); imageUrl names it
    int position = 0;  // 1-based among all contacts of the export, for messages
};

struct PhoneBook {
    std::vector<std::string> names;    // of the <phonebook> elements
    std::vector<Contact> contacts;     // of all phone books, in file order
    std::vector<std::string> warnings; // what the reader left out, naming the contact
};

// Input the tool cannot work with: unreadable, malformed, not a phone-book export.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

PhoneBook readPhoneBook(const std::filesystem::path &file);

// A whole input file's bytes; InputError when it is a folder or unreadable.
std::string readInputFile(const std::filesystem::path &file);
PhoneBook parsePhoneBook(const std::string &bytes, const std::string &sourceName);

// Contacts exported from phones and web address books: vCard 2.1, 3.0 and 4.0, one card after another.
PhoneBook parseVCards(const std::string &bytes, const std::string &sourceName);
bool looksLikeVCard(const std::string &bytes);

// The router's XML export or a vCard file, told apart by their contents.
PhoneBook readContacts(const std::filesystem::path &file);

} // namespace book
