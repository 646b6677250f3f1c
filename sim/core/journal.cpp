#include "journal.h"

#include <cstdio>

namespace sim
{

std::string escapeText(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Journal::call(std::string text)
{
    if (!recording_)
        return;
    if (echo_)
        std::fprintf(stderr, "[fw] %s\n", text.c_str());
    entries_.push_back({JournalEntry::Kind::call, std::move(text)});
}

void Journal::print(std::string text)
{
    if (!recording_)
        return;
    if (echo_)
        std::fprintf(stderr, "%s", text.c_str());
    entries_.push_back({JournalEntry::Kind::print, std::move(text)});
}

void Journal::note(std::string text)
{
    if (!recording_)
        return;
    if (echo_)
        std::fprintf(stderr, "[sim] %s\n", text.c_str());
    entries_.push_back({JournalEntry::Kind::note, std::move(text)});
}

void Journal::clear()
{
    entries_.clear();
}

std::vector<std::string> Journal::prints() const
{
    std::vector<std::string> out;
    for (const auto &e : entries_)
        if (e.kind == JournalEntry::Kind::print)
            out.push_back(e.text);
    return out;
}

std::vector<std::string> Journal::calls() const
{
    std::vector<std::string> out;
    for (const auto &e : entries_)
        if (e.kind == JournalEntry::Kind::call)
            out.push_back(e.text);
    return out;
}

bool Journal::hasPrint(std::string_view text) const
{
    return countPrints(text) > 0;
}

size_t Journal::countPrints(std::string_view text) const
{
    size_t n = 0;
    for (const auto &e : entries_)
        if (e.kind == JournalEntry::Kind::print && e.text == text)
            ++n;
    return n;
}

std::string Journal::dump() const
{
    std::string out;
    for (const auto &e : entries_) {
        switch (e.kind) {
        case JournalEntry::Kind::call: out += e.text; break;
        case JournalEntry::Kind::print: out += "print \"" + escapeText(e.text) + "\""; break;
        case JournalEntry::Kind::note: out += "# " + e.text; break;
        }
        out += '\n';
    }
    return out;
}

} // namespace sim
