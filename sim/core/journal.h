// The record of everything the program asked of the firmware: every call
// with its arguments and every debug print line, in order. Tests and
// scenarios assert on it; the PC and the receiver build must write the same.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim
{

struct JournalEntry {
    enum class Kind { call, print, note };
    Kind kind;
    std::string text;
};

class Journal
{
  public:
    void call(std::string text);
    void print(std::string text);
    void note(std::string text); // the simulator's own remarks (faults, leaks)
    void clear();

    const std::vector<JournalEntry> &entries() const { return entries_; }
    std::vector<std::string> prints() const;
    std::vector<std::string> calls() const;
    bool hasPrint(std::string_view text) const;
    size_t countPrints(std::string_view text) const;
    // One line per entry, Latin-1 and control bytes escaped: the form that
    // scenario runs compare between builds.
    std::string dump() const;

    void setEcho(bool on) { echo_ = on; }
    // Off: nothing is kept (a fuzzer that never reads the journal).
    void setRecording(bool on) { recording_ = on; }

  private:
    std::vector<JournalEntry> entries_;
    bool echo_ = false;
    bool recording_ = true;
};

// Printable form of a program text: bytes outside printable ASCII as \ooo.
std::string escapeText(std::string_view text);

} // namespace sim
