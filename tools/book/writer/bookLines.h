// The picture piece of "addrbook.dat" entry lines, read and replaced without touching anything else
// of the file: comments, names with their blanks, info texts and line ends stay byte for byte.
#pragma once

#include <string>
#include <vector>

namespace book
{

struct BookLine {
    std::string text;    // the line without its line end
    std::string lineEnd; // "\n", "\r\n" or "" for a last line without one
    bool entry = false;  // an entry line as the program reads it (not blank, no comment, with "=")
    std::string number;  // trimmed, Latin-1 (entries only)
    std::string name;    // as the program keeps it, Latin-1
    std::string picture; // trimmed; empty when the line names none ("unknown.jpg" then)
};

std::vector<BookLine> readBookLines(const std::string &contents);
std::string joinBookLines(const std::vector<BookLine> &lines);

// Makes the line name `picture` (empty: none, so the program shows "unknown.jpg"). False, and the
// line unchanged, when the new line would pass the program's 127 characters after "=" or 160 a line.
bool setPicture(BookLine &line, const std::string &picture);

} // namespace book
