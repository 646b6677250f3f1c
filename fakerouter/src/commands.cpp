// Reading the fake router's commands and scripts into Command values.
#include "fakerouter/commands.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <type_traits>

namespace fakerouter
{
namespace
{

using std::chrono::milliseconds;

constexpr std::string_view blanks = " \t\r";

std::string_view trim(std::string_view text)
{
    auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Splits off the first blank-separated word; `rest` keeps what follows, trimmed.
std::string_view nextWord(std::string_view &rest)
{
    rest = trim(rest);
    auto end = rest.find_first_of(blanks);
    std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : trim(rest.substr(end));
    return word;
}

[[noreturn]] void fail(const std::string &message)
{
    throw SyntaxError(0, message);
}

template <typename Number> std::optional<Number> toNumber(std::string_view word)
{
    Number value{};
    if constexpr (std::is_floating_point_v<Number>) {
        // Not every C++ library reads floating-point numbers with from_chars
        // (the browser build's libc++ does not); strtod in the C locale reads
        // the same words once signs, hex and blanks are kept out.
        if (word.empty() || word.find_first_not_of("0123456789.-eE") != std::string_view::npos)
            return std::nullopt;
        std::string text(word);
        char *end = nullptr;
        errno = 0;
        value = static_cast<Number>(std::strtod(text.c_str(), &end));
        if (errno != 0 || end != text.c_str() + text.size())
            return std::nullopt;
    } else {
        auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || error != std::errc{} || end != word.data() + word.size())
            return std::nullopt;
    }
    return value;
}

template <typename Number> Number requireNumber(std::string_view word, std::string_view what)
{
    if (auto value = toNumber<Number>(word))
        return *value;
    fail(std::string(what) + " must be a whole number, not '" + std::string(word) + "'");
}

milliseconds requireDuration(std::string_view word)
{
    if (auto value = parseDuration(word))
        return *value;
    fail("'" + std::string(word) +
         "' is not a duration (seconds, like 2.5, or with a unit: 2.5s, 300ms, 1m, 1min, 1h; at most a day)");
}

// A number field of a router line: "-" stands for an empty field, such as a hidden caller's number.
std::string numberField(std::string_view word)
{
    if (word.find(';') != std::string_view::npos)
        fail("'" + std::string(word) + "' holds a ';', which would split the field");
    return word == "-" ? std::string() : std::string(word);
}

void expectNoMore(std::string_view rest, std::string_view command)
{
    if (!rest.empty())
        fail("too many arguments for " + std::string(command) + ": '" + std::string(rest) + "'");
}

std::vector<std::string_view> words(std::string_view rest)
{
    std::vector<std::string_view> list;
    while (!(rest = trim(rest)).empty())
        list.push_back(nextWord(rest));
    return list;
}

// What a line-sending command sends: an event, a typed router line, or raw bytes.
void parseLine(std::string_view lineText, Command &command)
{
    std::string_view rest = lineText;
    std::string_view word = nextWord(rest);
    if (word.empty())
        fail("missing the line to send: ring, call, connect, disconnect, line, raw, or a line with ';'");
    if (word == "raw") {
        if (rest.empty())
            fail("usage: raw TEXT");
        command.text = unescape(rest);
        command.asIs = true;
        return;
    }
    if (word != "ring" && word != "call" && word != "connect" && word != "disconnect") {
        std::string_view typed = word == "line" ? rest : trim(lineText);
        if (word == "line" && typed.empty())
            fail("usage: line TEXT");
        if (word != "line" && typed.find(';') == std::string_view::npos)
            fail("unknown command '" + std::string(word) + "' (try help)");
        command.asIs = startsWithTimestamp(typed);
        command.text = std::string(typed) + (command.asIs ? "\r\n" : "");
        return;
    }
    auto args = words(rest);
    auto usage = [&](std::string_view form) { fail("usage: " + std::string(form)); };
    if (word == "ring") {
        if (args.size() < 3 || args.size() > 4)
            usage("ring ID CALLER OWN [LINE]");
        command.text = ringFields(requireNumber<int>(args[0], "ID"), numberField(args[1]), numberField(args[2]),
                                  args.size() == 4 ? numberField(args[3]) : "SIP0");
    } else if (word == "call") {
        if (args.size() < 4 || args.size() > 5)
            usage("call ID EXT OWN CALLED [LINE]");
        command.text =
            callFields(requireNumber<int>(args[0], "ID"), requireNumber<int>(args[1], "EXT"), numberField(args[2]),
                       numberField(args[3]), args.size() == 5 ? numberField(args[4]) : "SIP0");
    } else if (word == "connect") {
        if (args.size() != 3)
            usage("connect ID EXT NUMBER");
        command.text =
            connectFields(requireNumber<int>(args[0], "ID"), requireNumber<int>(args[1], "EXT"), numberField(args[2]));
    } else {
        if (args.size() != 2)
            usage("disconnect ID SECONDS");
        command.text = disconnectFields(requireNumber<int>(args[0], "ID"), requireNumber<long>(args[1], "SECONDS"));
    }
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

} // namespace

std::optional<milliseconds> parseDuration(std::string_view word)
{
    double scale = 1000.0;
    if (word.ends_with("ms")) {
        scale = 1.0;
        word.remove_suffix(2);
    } else if (word.ends_with("min")) {
        scale = 60'000.0;
        word.remove_suffix(3);
    } else if (word.ends_with("h")) {
        scale = 3'600'000.0;
        word.remove_suffix(1);
    } else if (word.ends_with("s")) {
        word.remove_suffix(1);
    } else if (word.ends_with("m")) {
        scale = 60'000.0;
        word.remove_suffix(1);
    }
    auto value = toNumber<double>(word);
    if (!value || !std::isfinite(*value) || *value < 0 || *value * scale > 86'400'000.0)
        return std::nullopt;
    return milliseconds(std::llround(*value * scale));
}

std::string unescape(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size())
            fail("text ends in a lone backslash");
        char c = text[i];
        if (c == 'r' || c == 'n' || c == 't' || c == '\\' || c == '"') {
            bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else if (c >= '0' && c <= '7') {
            int value = 0;
            for (int digits = 0; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++digits)
                value = value * 8 + (text[i++] - '0');
            --i;
            if (value > 255)
                fail("octal escape above \\377");
            bytes += static_cast<char>(value);
        } else if (c == 'x' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            fail(std::string("unknown escape \\") + c + " (known: \\r \\n \\t \\\\ \\\" \\ooo \\xHH)");
        }
    }
    return bytes;
}

SyntaxError::SyntaxError(std::size_t lineNumber, const std::string &message)
    : std::runtime_error(lineNumber == 0 ? message : "line " + std::to_string(lineNumber) + ": " + message),
      lineNumber_(lineNumber), message_(message)
{
}

Command parseCommand(std::string_view line)
{
    line = trim(line);
    std::string_view rest = line;
    std::string_view word = nextWord(rest);
    Command command;
    auto bare = [&](Action action) {
        expectNoMore(rest, word);
        command.action = action;
    };
    auto timed = [&](Action action) {
        command.action = action;
        auto args = words(rest);
        if (args.size() > 1)
            fail("usage: " + std::string(word) + " [DURATION]");
        if (!args.empty())
            command.duration = requireDuration(args[0]);
    };

    if (word.empty()) {
        fail("empty command");
    } else if (word == "stall") {
        command.action = Action::Stall;
        command.count = std::string::npos;
        std::string_view lineText = rest;
        if (auto bytes = toNumber<std::size_t>(nextWord(lineText))) {
            command.count = *bytes;
            rest = lineText;
        }
        parseLine(rest, command);
    } else if (word == "drip") {
        command.action = Action::Drip;
        command.duration = milliseconds(100);
        std::string_view lineText = rest;
        if (auto gap = parseDuration(nextWord(lineText))) {
            command.duration = *gap;
            rest = lineText;
        }
        parseLine(rest, command);
    } else if (word == "garbage") {
        auto args = words(rest);
        if (args.empty() || args.size() > 2)
            fail("usage: garbage N [SEED]");
        command.action = Action::Garbage;
        command.count = requireNumber<std::size_t>(args[0], "N");
        command.seed = args.size() == 2 ? requireNumber<std::uint32_t>(args[1], "SEED") : 1;
        if (command.count > (64u << 20))
            fail("garbage is limited to 64 MB");
    } else if (word == "flood") {
        auto args = words(rest);
        if (args.empty() || args.size() > 2)
            fail("usage: flood MB [DEADLINE]");
        auto megabytes = toNumber<double>(args[0]);
        if (!megabytes || !(*megabytes > 0 && *megabytes <= 1024))
            fail("flood takes a number of megabytes above 0 and up to 1024, not '" + std::string(args[0]) + "'");
        command.action = Action::Flood;
        command.count = static_cast<std::size_t>(std::llround(*megabytes * 1048576.0));
        command.duration = args.size() == 2 ? requireDuration(args[1]) : milliseconds(10'000);
    } else if (word == "resume") {
        bare(Action::Resume);
    } else if (word == "nul") {
        bare(Action::Nul);
    } else if (word == "close") {
        bare(Action::Close);
    } else if (word == "reset") {
        bare(Action::Reset);
    } else if (word == "refuse") {
        timed(Action::Refuse);
    } else if (word == "listen") {
        bare(Action::Listen);
    } else if (word == "silent") {
        timed(Action::Silent);
    } else if (word == "speak") {
        bare(Action::Speak);
    } else if (word == "status") {
        bare(Action::Status);
    } else if (word == "help") {
        bare(Action::Help);
    } else if (word == "quit") {
        bare(Action::Quit);
    } else if (word == "wait" || word == "at") {
        fail("'" + std::string(word) + "' belongs in scripts only");
    } else {
        command.action = Action::Send;
        parseLine(line, command);
    }
    return command;
}

std::vector<Step> parseScript(std::string_view text)
{
    std::vector<Step> steps;
    milliseconds pending{0}; // waits not yet given to a step
    milliseconds elapsed{0}; // since the start or the last "wait client", for "at"
    std::size_t lineNumber = 0;
    for (std::string_view raw : splitLines(text)) {
        ++lineNumber;
        std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#')
            continue;
        try {
            std::string_view rest = line;
            std::string_view word = nextWord(rest);
            if (word == "wait" && rest == "client") {
                Step waitClient{pending, {}};
                waitClient.command.action = Action::WaitClient;
                steps.push_back(waitClient);
                pending = elapsed = milliseconds{0};
            } else if (word == "wait" || (word == "at" && rest.starts_with("+"))) {
                if (rest.starts_with("+"))
                    rest.remove_prefix(1);
                if (rest.empty() || words(rest).size() != 1)
                    fail("usage: " + std::string(word) + (word == "at" ? " +DURATION" : " DURATION | wait client"));
                milliseconds gap = requireDuration(rest);
                pending += gap;
                elapsed += gap;
            } else if (word == "at") {
                if (rest.empty() || words(rest).size() != 1)
                    fail("usage: at DURATION | at +DURATION");
                milliseconds when = requireDuration(rest);
                if (when < elapsed)
                    fail("'at " + std::string(rest) + "' lies before the script's time so far (" +
                         std::to_string(elapsed.count()) + " ms)");
                pending += when - elapsed;
                elapsed = when;
            } else {
                steps.push_back({pending, parseCommand(line)});
                pending = milliseconds{0};
            }
        } catch (const SyntaxError &error) {
            throw SyntaxError(lineNumber, error.message());
        }
    }
    return steps;
}

std::vector<Step> loadScript(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read script " + path);
    std::ostringstream text;
    text << file.rdbuf();
    try {
        return parseScript(text.str());
    } catch (const SyntaxError &error) {
        throw std::runtime_error(path + ":" + std::to_string(error.lineNumber()) + ": " + error.message());
    }
}

} // namespace fakerouter
