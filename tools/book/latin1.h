// The program shows 8-bit Latin-1 text; contacts and command lines come as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace book
{

struct Latin1Text {
    std::string text;                  // Latin-1 bytes
    std::vector<std::string> replaced; // characters written as "?", in UTF-8 (invalid bytes as "\xNN")
    int controls = 0;                  // control characters written as blanks
};

// Characters outside Latin-1 become "?"; control characters (tabs, line ends) become blanks, since a
// line end inside a name would split the entry line.
Latin1Text toLatin1(std::string_view utf8);

// For the terminal: Latin-1 bytes as UTF-8, control bytes as "\ooo".
std::string latin1ToUtf8(std::string_view latin1);

// True when the Latin-1 text holds a byte pair that reads as a UTF-8 character, the usual trace of a
// file saved as UTF-8 by mistake (each umlaut shows as two letters).
bool looksLikeUtf8(std::string_view latin1);

} // namespace book
