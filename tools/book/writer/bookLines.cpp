// Entry lines are recognised as the program's reader does: trimmed with isspace, "#" first for a
// comment, the first "=" ends the number, the first comma of the value ends the name.
#include "writer/bookLines.h"

#include <cctype>

#include "writer/programLimits.h"

namespace book
{

namespace
{

bool blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string trimmed(const std::string &text)
{
    std::size_t first = 0, last = text.size();
    while (first < last && blank(text[first]))
        first++;
    while (last > first && blank(text[last - 1]))
        last--;
    return text.substr(first, last - first);
}

void parse(BookLine &line)
{
    std::string t = trimmed(line.text);
    auto equals = t.find('=');
    line.entry = !t.empty() && t[0] != '#' && equals != std::string::npos;
    if (!line.entry)
        return;
    line.number = trimmed(t.substr(0, equals));
    std::string value = trimmed(t.substr(equals + 1));
    auto first = value.find(',');
    line.name = value.substr(0, first);
    line.picture.clear();
    if (first != std::string::npos) {
        std::string rest = value.substr(first + 1);
        line.picture = trimmed(rest.substr(0, rest.find(',')));
    }
}

} // namespace

std::vector<BookLine> readBookLines(const std::string &contents)
{
    std::vector<BookLine> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t end = contents.find('\n', start);
        BookLine line;
        if (end == std::string::npos) {
            line.text = contents.substr(start);
            start = contents.size();
        } else {
            line.text = contents.substr(start, end - start);
            line.lineEnd = "\n";
            start = end + 1;
        }
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.lineEnd = "\r" + line.lineEnd;
        }
        parse(line);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string joinBookLines(const std::vector<BookLine> &lines)
{
    std::string out;
    for (const auto &line : lines)
        out += line.text + line.lineEnd;
    return out;
}

bool setPicture(BookLine &line, const std::string &picture)
{
    if (!line.entry || line.picture == picture)
        return line.entry;
    const std::string &text = line.text;
    auto equals = text.find('=');
    auto first = text.find(',', equals);
    std::string changed;
    if (first == std::string::npos) {
        // The program trims the value, so blanks at the line's end never belonged to the name.
        changed = text;
        while (!changed.empty() && blank(changed.back()))
            changed.pop_back();
        changed += ", " + picture;
    } else {
        // "name, " keeps a name that ends in a blank: without a comma the program would trim it.
        auto second = text.find(',', first + 1);
        changed = text.substr(0, first) + ", " + picture + (second == std::string::npos ? "" : text.substr(second));
    }
    std::string value = trimmed(changed.substr(changed.find('=') + 1));
    if (value.size() > valueMax || changed.size() > lineMax)
        return false;
    line.text = changed;
    parse(line);
    return true;
}

} // namespace book
