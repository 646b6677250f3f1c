#include "journalDrain.h"

#include "firmware.h"
#include "pageFeed.h"

namespace sim
{

std::string utf8(std::string_view latin1)
{
    std::string out;
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

JournalDrain::JournalDrain(PageFeed *page, const std::filesystem::path &journalFile) : page_(page)
{
    if (!journalFile.empty()) {
        file_ = std::fopen(journalFile.c_str(), "w");
        if (!file_)
            std::fprintf(stderr, "cannot write %s\n", journalFile.c_str());
    }
}

JournalDrain::~JournalDrain()
{
    if (file_)
        std::fclose(file_);
}

void JournalDrain::drain()
{
    Journal &journal = firmware().journal;
    const auto &entries = journal.entries();
    if (entries.empty())
        return;
    for (const auto &e : entries) {
        if (e.kind == JournalEntry::Kind::print) {
            std::fputs(utf8(e.text).c_str(), stdout);
            if (page_)
                page_->addPrint(e.text);
        }
        std::string line = e.kind == JournalEntry::Kind::call    ? e.text + "\n"
                           : e.kind == JournalEntry::Kind::print ? "print \"" + escapeText(e.text) + "\"\n"
                                                                 : "# " + e.text + "\n";
        if (file_)
            std::fputs(line.c_str(), file_);
        if (page_)
            page_->addJournal(line);
    }
    std::fflush(stdout);
    if (file_)
        std::fflush(file_);
    journal.clear();
}

} // namespace sim
