// Everything the program asked and printed goes to the page, stdout and the
// journal file as it happens; then the firmware's journal is emptied so that
// a long run stays small.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace sim
{

class PageFeed;

class JournalDrain
{
  public:
    JournalDrain(PageFeed *page, const std::filesystem::path &journalFile);
    ~JournalDrain();
    JournalDrain(const JournalDrain &) = delete;
    JournalDrain &operator=(const JournalDrain &) = delete;
    void drain();

  private:
    PageFeed *page_;
    FILE *file_ = nullptr;
};

// Latin-1 as UTF-8.
std::string utf8(std::string_view latin1);

} // namespace sim
