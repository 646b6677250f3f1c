// Checks "ringwatcher.ini": the program's loadSettings runs on the whole file for its messages and on
// each line alone to tell which line each message belongs to; then every applied value is looked at
// for what atoi and the colour parser make of it.
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "check/check.h"
#include "check/checkBars.h"
#include "check/simReceiver.h"
#include "shell/keyRouting.h"
#include "view/fontColor.h"
#include "writer/latin1.h"
#include "writer/programLimits.h"

namespace book
{

namespace
{

using Severity = Finding::Severity;

enum class Kind { position, delay, hostName, areaCode, fontColor, numbering, msn, actionKey };

struct Key {
    const char *name;
    Kind kind;
};

// The settings, in the order in which the program tests them.
const Key keys[] = {
    {"Xpos", Kind::position},
    {"Ypos", Kind::position},
    {"DisplayDelay", Kind::delay},
    {"FritzBox", Kind::hostName},
    {"StartupConnectDelay", Kind::delay},
    {"IncomingDelay", Kind::delay},
    {"ConnectDelay", Kind::delay},
    {"CalloutDelay", Kind::delay},
    {"DisconnectDelay", Kind::delay},
    {"FontColor", Kind::fontColor},
    {"FritzBoxLineNumbering", Kind::numbering},
    {"AreaCode", Kind::areaCode},
    {"MSN", Kind::msn},
    {"ActionKey", Kind::actionKey},
};

const Key *findKey(const std::string &name)
{
    for (const Key &key : keys)
        if (name == key.name)
            return &key;
    return nullptr;
}

std::string folded(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '_' && c != '-')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

const Key *similarKey(const std::string &name)
{
    for (const Key &key : keys)
        if (folded(name) == folded(key.name))
            return &key;
    return nullptr;
}

std::string shown(const std::string &latin1)
{
    return "\"" + latin1ToUtf8(latin1) + "\"";
}

std::string blanksTrimmed(const std::string &text)
{
    auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A decimal number that atoi reads whole and without overflow.
bool isPlainNumber(const std::string &text)
{
    std::string t = blanksTrimmed(text);
    std::size_t digits = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    if (digits == t.size())
        return false;
    for (std::size_t i = digits; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9')
            return false;
    errno = 0;
    long long value = std::strtoll(t.c_str(), nullptr, 10);
    return errno == 0 && value >= INT32_MIN && value <= INT32_MAX;
}

std::string hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    return text;
}

// What atoi makes of a value that is not a plain decimal number.
void checkDecimal(CheckReport &report, int line, const std::string &value)
{
    if (isPlainNumber(value))
        return;
    std::string text = shown(value) + " is read as " + std::to_string(std::atoi(value.c_str()));
    std::string t = blanksTrimmed(value);
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        unsigned long long asHex = std::strtoull(t.c_str(), nullptr, 16);
        text += ": numbers are decimal here, write " + std::to_string(asHex);
    }
    report.add(line, Severity::warning, text);
}

void checkDelay(CheckReport &report, int line, const std::string &key, const std::string &value)
{
    int seconds = std::atoi(value.c_str());
    long long exact = static_cast<long long>(seconds) * 100;
    int ticks = static_cast<int>(static_cast<std::uint32_t>(seconds) * 100u);
    if (exact != ticks)
        report.add(line, Severity::warning,
                   std::to_string(seconds) + " seconds do not fit: the program's ticks wrap around to " +
                       std::to_string(ticks));
    if (key == "StartupConnectDelay") {
        if (seconds == 0)
            report.add(line, Severity::note, "0 seconds: the program connects at its first chance after the start");
        if (seconds < 0)
            report.add(line, Severity::warning,
                       "negative: the program counts it as a huge unsigned number of ticks and makes no connection "
                       "attempt for more than 248 days");
        else if (seconds < 5)
            report.add(line, Severity::warning,
                       "under 5 seconds: once its three attempts are used up, the program shows \"keine Verbindung "
                       "zu Fritz Box, Tap wird beendet\" again before that message's 5 seconds are over, and never "
                       "ends (keep it at 5 or more)");
        return;
    }
    if (seconds == 0)
        report.add(line, Severity::note,
                   key == "DisplayDelay" ? "0 seconds: an error message stays on the screen until it is dismissed"
                                         : "0 seconds: the call's window stays until it is dismissed or replaced");
    if (seconds >= 0)
        return;
    if (key == "DisplayDelay")
        report.add(line, Severity::warning, "negative: error and other messages vanish at the next moment");
    else if (key == "IncomingDelay" || key == "CalloutDelay")
        report.add(line, Severity::note, "negative: these calls are not shown at all");
    else if (key == "ConnectDelay")
        report.add(line, Severity::note, "negative: a connect removes the window instead of showing it");
    else if (key == "DisconnectDelay" && seconds == -2)
        report.add(line, Severity::note, "-2: a disconnect leaves the window as it is");
    else if (key == "DisconnectDelay")
        report.add(line, Severity::note, "negative: a disconnect removes the window instead of showing it");
}

void checkFontColor(CheckReport &report, int line, const std::string &value, std::uint32_t colour)
{
    std::vector<std::string> components;
    std::size_t position = 0;
    while (components.size() < 3) {
        auto comma = value.find(',', position);
        if (comma == std::string::npos)
            break;
        components.push_back(value.substr(position, comma - position));
        position = comma + 1;
    }
    if (components.size() < 3) {
        static const char *const names[] = {"red", "green", "blue"};
        std::string missing;
        for (std::size_t i = components.size(); i < 3; ++i)
            missing += (missing.empty() ? "" : " and ") + std::string(names[i]);
        report.add(line, Severity::warning,
                   "only " + std::to_string(components.size()) + " of the three components end with a comma, so " +
                       missing + (components.size() == 2 ? " becomes" : " become") + " 255: the colour is " +
                       hex(colour) + " (write \"r,g,b,\" with a comma after blue)");
    }
    bool spills = false;
    for (const auto &component : components) {
        checkDecimal(report, line, component);
        int n = std::atoi(component.c_str());
        spills = spills || n < 0 || n > 255;
    }
    if (spills)
        report.add(line, Severity::warning,
                   "a component outside 0 to 255 spills into the others: the colour is " + hex(colour));
    if (!blanksTrimmed(value.substr(position)).empty() && components.size() == 3)
        report.add(line, Severity::note, "text after the third comma is ignored");
}

void checkText(CheckReport &report, int line, const Key &key, const std::string &value, bool programSpoke)
{
    if (value.size() > settingTextMax && !programSpoke)
        report.add(line, Severity::warning,
                   std::string(key.name) + " holds at most " + std::to_string(settingTextMax) + " characters");
    if (key.kind == Kind::hostName && value.empty())
        report.add(line, Severity::warning, "empty: the program has no router to connect to");
    if (key.kind != Kind::areaCode || value.empty())
        return;
    for (char c : value)
        if (c < '0' || c > '9') {
            report.add(line, Severity::warning,
                       "the area code holds more than digits: no number that gets it in front matches an entry "
                       "the router's way");
            break;
        }
    if (value[0] != '0')
        report.add(line, Severity::warning,
                   "the area code does not start with 0: a number looked up twice gets it twice");
}

} // namespace

CheckReport checkSettings(const std::filesystem::path &file)
{
    std::string bytes = readCheckedFile(file);
    CheckReport report;
    report.file = file.string();

    SimulatedReceiver receiver;
    receiver.putFile("ringwatcher.ini", bytes);
    FileReading reading = receiver.read("ringwatcher.ini");
    report.programPrints = receiver.loadSettings("ringwatcher.ini");

    std::vector<std::string> attributed;
    std::vector<Finding> programFindings;
    std::map<std::string, int> appliedOn;
    std::map<std::string, std::string> appliedValue;
    int applied = 0;

    for (const PropertyLine &property : reading.properties) {
        int line = property.line;
        const std::string &physical = reading.lines.at(static_cast<std::size_t>(line - 1));
        const Key *key = property.result == PROP_OK ? findKey(property.name) : nullptr;

        // The line alone through the program; only a syntax error's text holds the line number.
        std::uint32_t wantedKey = static_cast<std::uint32_t>(std::atoi(property.value.c_str()));
        actionKey = ~wantedKey;
        receiver.putFile("replay.ini", physical + "\n");
        std::vector<std::string> prints = receiver.loadSettings("replay.ini");
        for (auto &print : prints) {
            attributed.push_back(print);
            if (property.result == PROP_SYNTAX_ERROR) {
                auto at = attributed.back().find("ERROR in line:1 ");
                if (at != std::string::npos)
                    attributed.back().replace(at, 16, property.name + " ");
            }
        }

        if (physical.size() > lineMax)
            report.add(line, Severity::warning,
                       "the line has " + std::to_string(physical.size()) +
                           " characters; the program reads only the first " + std::to_string(lineMax));

        if (!prints.empty()) {
            std::string text = "the program prints";
            for (std::size_t i = attributed.size() - prints.size(); i < attributed.size(); ++i)
                text += std::string(i + prints.size() == attributed.size() ? " " : " and ") + "\"" +
                        shownPrint(attributed[i]) + "\"";
            if (property.result == PROP_OK && key == nullptr) {
                if (property.name.rfind("\357\273\277", 0) == 0)
                    text += ": the file starts with a UTF-8 byte-order mark, which becomes part of the name";
                else if (const Key *similar = similarKey(property.name))
                    text += ": names are case-sensitive, did you mean \"" + std::string(similar->name) + "\"?";
            } else if (property.result == PROP_SYNTAX_ERROR) {
                text += ": the line has no \"=\"";
            } else if (property.result == PROP_NAME_TOO_LONG) {
                text += ": the name has more than " + std::to_string(PROP_NAME_SIZE - 1) + " characters";
            } else if (property.result == PROP_VALUE_TOO_LONG) {
                text += ": the value has more than " + std::to_string(valueMax) + " characters";
            } else if (key != nullptr && property.value.size() > settingTextMax) {
                text +=
                    ": " + std::string(key->name) + " holds at most " + std::to_string(settingTextMax) + " characters";
            }
            programFindings.push_back({line, Severity::error, text});
        }
        if (key == nullptr)
            continue;

        const std::string &value = property.value;
        bool ignored = !prints.empty();
        switch (key->kind) {
        case Kind::position: checkDecimal(report, line, value); break;
        case Kind::delay:
            checkDecimal(report, line, value);
            checkDelay(report, line, key->name, value);
            break;
        case Kind::numbering:
            checkDecimal(report, line, value);
            if (int n = std::atoi(value.c_str()); n != 0 && n != 1)
                report.add(line, Severity::warning,
                           "only 1 and 0 mean something: " + std::to_string(n) + " is taken as 0");
            break;
        case Kind::actionKey:
            checkDecimal(report, line, value);
            if (actionKey == wantedKey && wantedKey == 0)
                report.add(line, Severity::warning,
                           "the action key is then 0, a code no key of the remote sends: nothing opens the call "
                           "list and the book (leave the line out for the default, 65609)");
            if (actionKey != wantedKey) {
                report.add(line, Severity::warning,
                           "ignored: key code " + std::to_string(static_cast<std::int32_t>(wantedKey)) +
                               " is one the book window uses, so the action key stays as it was");
                ignored = true;
            }
            break;
        case Kind::fontColor: checkFontColor(report, line, value, fontColor); break;
        case Kind::hostName:
        case Kind::areaCode: checkText(report, line, *key, value, !prints.empty()); break;
        case Kind::msn: break;
        }
        if (looksLikeUtf8(value))
            report.add(line, Severity::warning, "the value looks UTF-8 encoded: the program reads Latin-1");
        if (ignored)
            continue;
        applied++;
        appliedValue[key->name] = value;
        if (auto [earlier, isNew] = appliedOn.emplace(key->name, line); !isNew) {
            report.add(earlier->second, Severity::warning,
                       std::string(key->name) + " is set again on line " + std::to_string(line) +
                           ", whose value counts");
            earlier->second = line;
        }
    }

    if (attributed == report.programPrints) {
        report.findings.insert(report.findings.end(), programFindings.begin(), programFindings.end());
    } else {
        // The lines alone did not add up to the whole file: give the messages without line numbers.
        for (const auto &print : report.programPrints)
            report.add(0, Severity::error, "the program prints \"" + shownPrint(print) + "\"");
    }
    checkPosition(report, receiver, appliedOn, appliedValue);
    report.summary.push_back(std::to_string(reading.properties.size()) + " setting line(s), " +
                             std::to_string(applied) + " applied");
    return report;
}

} // namespace book
