// The fake router's command language: typed at its prompt or the live page's router console, written in
// scenario scripts, or played from a script file with waits between the commands (fakerouter/player.h).
#pragma once

#include "fakerouter/fakeRouter.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fakerouter
{

enum class Action {
    Send,  // text, asIs
    Stall, // text, asIs; count: bytes sent now (npos: half)
    Resume,
    Drip, // text, asIs; duration: gap between bytes (the first byte goes now, the player times the rest)
    Nul,
    Garbage, // count, seed
    Flood,   // count: bytes; duration: deadline
    Close,
    Reset,
    Refuse, // duration: how long (0: until Listen)
    Listen,
    Silent, // duration: how long (0: until Speak)
    Speak,
    Status,
    Help,
    Quit,
    WaitClient, // scripts only
    DripNext,   // the player's own: the next byte of the drip under way; duration: gap to the one after
};

struct Command {
    Action action = Action::Status;
    // For Send, Stall and Drip: the fields after the timestamp, which is added when the command is
    // performed, or, when asIs is set, the exact bytes (a raw text, or a typed line that had a timestamp).
    std::string text;
    bool asIs = false;
    std::size_t count = 0;
    std::uint32_t seed = 0;
    std::chrono::milliseconds duration{0};

    bool operator==(const Command &) const = default;
};

// A script step is due `delay` after the previous step was due (or after the client came, following a
// WaitClient step), so a slow step does not shift the steps after it.
struct Step {
    std::chrono::milliseconds delay{0};
    Command command;

    bool operator==(const Step &) const = default;
};

class SyntaxError : public std::runtime_error
{
  public:
    SyntaxError(std::size_t lineNumber, const std::string &message);
    // 1-based line of a script; 0 for a single command.
    std::size_t lineNumber() const { return lineNumber_; }
    // The message without the line number.
    const std::string &message() const { return message_; }

  private:
    std::size_t lineNumber_;
    std::string message_;
};

// Throws SyntaxError for anything it does not understand; never sends anything.
Command parseCommand(std::string_view line);
std::vector<Step> parseScript(std::string_view text);
// As parseScript, with the file name in the message; std::runtime_error when the file cannot be read.
std::vector<Step> loadScript(const std::string &path);

// A time word, the same in every script: seconds, fractions allowed, or a number with a unit (2.5s,
// 300ms, 1m or 1min, 1h); at most a day. nullopt for anything else.
std::optional<std::chrono::milliseconds> parseDuration(std::string_view word);
// The bytes a text argument stands for: \r \n \t \\ \" \ooo (octal, up to three digits) and \xHH; throws
// SyntaxError for any other escape or a lone backslash at the end.
std::string unescape(std::string_view text);

// Performs one command and returns a one-line report for the user. A Refuse or Silent with a duration
// only starts; the one who plays the commands performs followUp() once the duration has passed. A Drip
// sends its first byte; the player performs DripNext for each further one, whose report is empty until
// the last byte, which reports the whole drip.
std::string perform(FakeRouter &router, const Command &command);
std::optional<Command> followUp(const Command &command);

// Bytes shown readably: printable ASCII as it is, the rest as C escapes (octal for odd bytes).
std::string escaped(std::string_view bytes, std::size_t limit = 160);

// The command language in a few lines, for --help, the help command and the live page.
std::string_view commandSummary();

} // namespace fakerouter
