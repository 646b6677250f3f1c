// The program shows 8-bit Latin-1 text; contacts and command lines come as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace book
{

struct Transliteration {
    std::string character; // UTF-8
    std::string written;   // in the target character set; empty for a combining mark
};

struct Latin1Text {
    std::string text;                            // Latin-1 bytes
    std::vector<Transliteration> transliterated; // characters outside Latin-1 written with its letters
    std::vector<std::string>
        replaced;     // characters without any stand-in, written as "?", in UTF-8 (invalid bytes as "\xNN")
    int controls = 0; // control characters written as blanks
};

// Characters outside Latin-1 are transliterated ("\305\201" as "L") or, without a stand-in, become "?";
// control characters (tabs, line ends) become blanks, since a line end inside a name would split the
// entry line.
Latin1Text toLatin1(std::string_view utf8);

// The same into plain ASCII, for file names: "J\303\266rg" is "Jorg".
Latin1Text toAscii(std::string_view utf8);

// "\305\201 as L, \305\221 as o": the transliterations for a message.
std::string describe(const std::vector<Transliteration> &transliterated);

// For the terminal: Latin-1 bytes as UTF-8, control bytes as "\ooo".
std::string latin1ToUtf8(std::string_view latin1);

// True when the Latin-1 text holds a byte pair that reads as a UTF-8 character, the usual trace of a
// file saved as UTF-8 by mistake (each umlaut shows as two letters).
bool looksLikeUtf8(std::string_view latin1);

} // namespace book
