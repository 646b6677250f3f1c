// Checks "addrbook.dat": the program's start-up loads a copy on the simulated receiver, and its reader
// tells which line each entry came from. What the program stores is compared with what the line says.
#include <cctype>
#include <map>

#include "check/check.h"
#include "check/simReceiver.h"
#include "import/numbers.h"
#include "writer/latin1.h"
#include "writer/programLimits.h"

namespace book
{

namespace
{

using Severity = Finding::Severity;

bool isEntryLine(int result)
{
    return result == PROP_OK || result == PROP_VALUE_TOO_LONG;
}

std::string shown(const std::string &latin1)
{
    return "\"" + latin1ToUtf8(latin1) + "\"";
}

std::string programTrim(std::string text)
{
    return trim(text.data());
}

// The value's pieces before the program cuts them: the name up to the first comma, untrimmed; the
// picture up to the next one and the info after it, both trimmed.
struct Pieces {
    std::string name, picture, info;
};

Pieces split(const std::string &value)
{
    Pieces p;
    auto first = value.find(',');
    p.name = value.substr(0, first);
    if (first == std::string::npos)
        return p;
    std::string rest = value.substr(first + 1);
    auto second = rest.find(',');
    p.picture = programTrim(rest.substr(0, second));
    if (second != std::string::npos)
        p.info = programTrim(rest.substr(second + 1));
    return p;
}

std::string entries(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " entry" : " entries");
}

std::string printsText(const std::vector<std::string> &prints)
{
    std::string out;
    for (std::size_t i = 0; i < prints.size(); ++i)
        out += (i == 0 ? "" : " and ") + std::string("\"") + shownPrint(prints[i]) + "\"";
    return out;
}

void checkLength(CheckReport &report, int line, const std::string &physical)
{
    if (physical.size() > lineMax)
        report.add(line, Severity::warning,
                   "the line has " + std::to_string(physical.size()) +
                       " characters; the program reads only the first " + std::to_string(lineMax));
}

void checkPieces(CheckReport &report, const PropertyLine &property, const LoadedEntry &entry)
{
    int line = property.line;
    if (property.result == PROP_VALUE_TOO_LONG)
        report.add(line, Severity::warning,
                   "the text after \"=\" is longer than " + std::to_string(valueMax) +
                       " characters; the program keeps the first " + std::to_string(valueMax));
    Pieces pieces = split(property.value);
    if (pieces.name.size() > nameMax)
        report.add(line, Severity::warning,
                   "name of " + std::to_string(pieces.name.size()) + " characters cut to " + std::to_string(nameMax) +
                       ": " + shown(entry.name));
    if (pieces.picture.size() > pictureMax)
        report.add(line, Severity::warning,
                   "picture " + shown(pieces.picture) + " cut to " + std::to_string(pictureMax) +
                       " characters: the program looks for " + shown(entry.picture));
    if (pieces.info.size() > infoMax)
        report.add(line, Severity::warning,
                   "info " + shown(pieces.info) + " cut to " + std::to_string(infoMax) +
                       " characters: " + shown(entry.info));
    if (looksLikeUtf8(property.value))
        report.add(line, Severity::warning,
                   "the text looks UTF-8 encoded: the program reads Latin-1 and shows " + shown(entry.name) +
                       " (ringwatcher-book convert writes Latin-1)");
}

void checkNumber(CheckReport &report, int line, std::size_t index, const LoadedEntry &entry)
{
    const std::string &number = entry.number;
    if (index == 0) {
        report.add(line, Severity::note,
                   "first entry " + shown(number) + " = " + shown(entry.name) +
                       ": it names the own line; the program looks it up but never lists it");
        if (!isRouterNumber(number)) {
            report.add(line, Severity::note, "no call matches the first entry's number: it is a placeholder");
            return;
        }
    }
    if (number.empty()) {
        report.add(line, Severity::note, "empty number: the entry names callers who suppress their number");
    } else if (!isRouterNumber(number)) {
        report.add(line, Severity::warning,
                   "number " + shown(number) +
                       " holds characters the router never sends (it sends digits only): no call matches it");
    } else if (number[0] != '0') {
        report.add(line, Severity::note,
                   "number " + shown(number) +
                       " has no leading 0: it matches only while the settings give no AreaCode");
    }
}

// Where the screen cuts an entry's name or info text, as the program laid it out with the simulator's
// fonts: the call bar shows the name, the book window the name and the info text.
void checkCuts(CheckReport &report, int line, const LoadedEntry &entry, const std::vector<CutText> &barCuts,
               const std::map<std::string, std::string> &bookCuts)
{
    auto where = [&](const std::string &text, bool inBar) {
        std::vector<std::string> shows;
        if (inBar)
            for (const CutText &cut : barCuts)
                if (cut.latin1 == text) {
                    shows.push_back("the call bar shows \"" + cut.shown + "\"");
                    break;
                }
        auto book = bookCuts.find(text);
        if (book != bookCuts.end())
            shows.push_back(std::string(shows.empty() ? "the book window shows" : "the book window") + " \"" +
                            book->second + "\"");
        std::string out;
        for (const auto &show : shows)
            out += (out.empty() ? "" : ", ") + show;
        return out;
    };
    std::string name = where(entry.name, true);
    if (!name.empty())
        report.add(line, Severity::warning, "name " + shown(entry.name) + " is too wide for the screen: " + name);
    std::string info = where(entry.info, false);
    if (!entry.info.empty() && !info.empty())
        report.add(line, Severity::warning, "info " + shown(entry.info) + " is too wide for the screen: " + info);
}

} // namespace

CheckReport checkAddressBook(const std::filesystem::path &file)
{
    std::string bytes = readCheckedFile(file);
    CheckReport report;
    report.file = file.string();

    SimulatedReceiver receiver;
    receiver.putFile("addrbook.dat", bytes);
    receiver.putFile("ringwatcher.ini", ""); // so that only the address book speaks
    FileReading reading = receiver.read("addrbook.dat");
    ProgramStart start = receiver.startProgram();
    report.programPrints = start.prints;

    if (bytes.rfind("\357\273\277", 0) == 0)
        report.add(1, Severity::warning,
                   "the file starts with a UTF-8 byte-order mark, which becomes part of the "
                   "first number");

    const std::size_t loaded = start.entries.size();
    std::size_t index = 0;
    int stopLine = 0;
    std::size_t lost = 0;
    int firstLost = 0, lastLost = 0;
    std::map<std::string, int> firstLineOf;
    std::map<int, std::string> nameOnLine;
    std::map<std::string, std::string> bookCuts;
    for (const CutText &cut : start.bookCuts)
        bookCuts.emplace(cut.latin1, cut.shown);

    for (const PropertyLine &property : reading.properties) {
        int line = property.line;
        const std::string &physical = reading.lines.at(static_cast<std::size_t>(line - 1));
        bool entryLine = isEntryLine(property.result);

        if (stopLine != 0) {
            if (entryLine) {
                lost++;
                firstLost = firstLost == 0 ? line : firstLost;
                lastLost = line;
                report.add(line, Severity::warning,
                           "entry " + shown(property.name) + " = " + shown(property.value) +
                               " is lost: the program stopped loading at line " + std::to_string(stopLine));
            } else {
                report.add(line, Severity::warning,
                           "not read: the program stopped loading at line " + std::to_string(stopLine) +
                               " (this line would stop it too)");
            }
            continue;
        }

        if (entryLine && index < loaded) {
            const LoadedEntry &entry = start.entries[index];
            checkLength(report, line, physical);
            checkPieces(report, property, entry);
            checkNumber(report, line, index, entry);
            if (index < start.barCuts.size())
                checkCuts(report, line, entry, start.barCuts[index], bookCuts);
            auto [first, isNew] = firstLineOf.emplace(entry.number, line);
            if (isNew)
                nameOnLine[line] = entry.name;
            else
                report.add(line, Severity::warning,
                           "number " + shown(entry.number) + " is already on line " + std::to_string(first->second) +
                               ": lookups find only that entry (" + shown(nameOnLine[first->second]) + ")");
            index++;
            continue;
        }

        // The line at which the program stopped loading.
        stopLine = line;
        std::string why;
        if (property.result == PROP_SYNTAX_ERROR)
            why = "no \"=\" in the line";
        else if (property.result == PROP_NAME_TOO_LONG)
            why = "the number is longer than " + std::to_string(numberMax) + " characters";
        else if (loaded == entriesMax)
            why = "entry " + std::to_string(entriesMax + 1) + ": the program holds only " + std::to_string(entriesMax) +
                  " entries";
        else
            why = "no heap left for the entry";
        std::string text = why + "; the program stops loading here";
        if (!start.prints.empty())
            text += " and prints " + printsText(start.prints);
        report.add(line, Severity::error, text);
        if (entryLine) {
            lost++;
            firstLost = line;
            lastLost = line;
        }
    }

    if (stopLine == 0 && !start.prints.empty())
        report.add(0, Severity::error, "the program prints " + printsText(start.prints));

    if (loaded == 0)
        report.summary.push_back("no entries: every call shows its number and \"unknown.jpg\"");
    else
        report.summary.push_back(entries(loaded) + " loaded: the first names the own line, " +
                                 std::to_string(loaded - 1) + " listed on the phone-book page");
    if (lost > 0)
        report.summary.push_back(entries(lost) + " lost, on lines " + std::to_string(firstLost) + " to " +
                                 std::to_string(lastLost));
    if (!start.layoutError.empty())
        report.summary.push_back("names and info texts not laid out on the screen: " + start.layoutError);
    return report;
}

} // namespace book
