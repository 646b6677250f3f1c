// Runs the program's code in the simulated firmware on a private disk folder.
#include "check/simReceiver.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "events/fritzbox.h"
#include "events/message.h"
#include "firmware.h"
#include "import/numbers.h"
#include "shell/ringwatcher.h"
#include "shell/settings.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "store/properties.h"
#include "store/text.h"
#include "typesetter.h"
#include "version.h"
#include "view/viewBook.h"

extern "C" int TAP_Main(void);

namespace book
{

namespace
{

const char settingsFolder[] = "/ProgramFiles/Settings/Ringwatcher";
const char banner[] = "Starting " PROGRAM_NAME "\n";

// Long enough for any line of a file the checker accepts; the program itself keeps 160 characters.
constexpr int physicalLineMax = 1 << 20;

void enterSettingsFolder()
{
    sim::firmware().disk.changeFolder(settingsFolder);
}

PropertyFileHandle *open(const std::string &name)
{
    // Drawing a message may leave the picture folder current, so every open starts from here.
    enterSettingsFolder();
    PropertyFileHandle *handle = openPropertyFile(name.c_str());
    if (handle == nullptr)
        throw std::runtime_error("the program cannot open its copy of the file");
    return handle;
}

LoadedEntry copied(const AddressEntry &entry)
{
    return {entry.number, entry.name, entry.picture, entry.info};
}

// The list as loadAddressBook left it. The program hands out the second entry only; the first is
// reached through it, or, when it is the only one, through a lookup of its own number.
std::vector<LoadedEntry> loadedEntries(const std::string &firstNumber)
{
    std::vector<LoadedEntry> out;
    int listed = getAddressEntries();
    if (listed < 0)
        return out;
    const AddressEntry *second = getAddressBook();
    if (second != nullptr) {
        for (const AddressEntry *entry = second->prev; entry != nullptr; entry = entry->next)
            out.push_back(copied(*entry));
        return out;
    }
    char number[sizeof(AddressEntry::number)];
    char name[sizeof(AddressEntry::name)];
    char picture[sizeof(AddressEntry::picture)];
    char info[sizeof(AddressEntry::info)];
    copyText(number, firstNumber.c_str(), sizeof number);
    setAreaCode(""); // compared as written, as the file holds it
    findName(number, name, picture, info);
    out.push_back({number, name, picture, info});
    return out;
}

std::string utf8(std::u32string_view text)
{
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// What a router line of a call can carry as the caller's number.
bool ringable(const std::string &number)
{
    return number.size() <= FIELD_MAX && (number.empty() || isRouterNumber(number));
}

} // namespace

SimulatedReceiver::SimulatedReceiver()
{
    sim::BootOptions boot;
    boot.timeZone = nullptr; // the files hold no times
    boot.programFolders = true;
    booted_ = std::make_unique<sim::TemporaryReceiver>(boot);
    enterSettingsFolder();
}

SimulatedReceiver::~SimulatedReceiver()
{
    removeStatusWindow();
    unloadAddressBook();
    sim::firmware().reset();
}

void SimulatedReceiver::putFile(const std::string &name, const std::string &bytes)
{
    sim::firmware().disk.writeFile(std::string(settingsFolder) + "/" + name, bytes);
}

FileReading SimulatedReceiver::read(const std::string &name)
{
    FileReading out;
    std::string line(physicalLineMax + 1, '\0');
    PropertyFileHandle *handle = open(name);
    int length;
    while ((length = getLine(line.data(), physicalLineMax + 1, handle)) >= 0)
        out.lines.emplace_back(line.data(), static_cast<std::size_t>(length));
    closePropertyFile(handle);

    char key[PROP_NAME_SIZE];
    char value[PROP_VALUE_SIZE];
    handle = open(name);
    int result;
    while ((result = getNextProperty(key, value, handle)) != PROP_EOF)
        out.properties.push_back({nLineCnt, result, key, value});
    closePropertyFile(handle);
    return out;
}

ProgramStart SimulatedReceiver::startProgram()
{
    ProgramStart out;
    auto &journal = sim::firmware().journal;
    journal.clear();
    TAP_Main();
    for (auto &print : journal.prints())
        if (print != banner)
            out.prints.push_back(print);

    // The first entry's number, for the one case in which the program offers no way to it.
    FileReading reading = read("addrbook.dat");
    std::string firstNumber;
    for (const auto &property : reading.properties)
        if (property.result == PROP_OK || property.result == PROP_VALUE_TOO_LONG) {
            firstNumber = property.name;
            break;
        }
    out.entries = loadedEntries(firstNumber);
    try {
        layOutTexts(out);
    } catch (const std::runtime_error &error) {
        out.layoutError = error.what();
    }
    stopTap();
    journal.clear();
    return out;
}

DrawnArea SimulatedReceiver::drawStatusBar(int x, int y, bool error)
{
    removeStatusWindow();
    statusWindowXOffset = x;
    statusWindowYOffset = y;
    if (error) {
        displayErrorMessage(MSG_ERR_CONNECTION, "Verbindung zu Fritz Box unterbrochen");
    } else {
        FBMessage ring{};
        ring.type = EVENT_RING;
        ring.line = 1;
        copyText(ring.title, "Eingehender Anruf f\374r Zuhause", sizeof ring.title);
        copyText(ring.text, "0301234567", sizeof ring.text);
        copyText(ring.picture, "unknown.jpg", sizeof ring.picture);
        displayFBMessage(&ring);
    }
    DrawnArea area{sim::screenWidth, sim::screenHeight, 0, 0};
    const sim::Osd &osd = sim::firmware().osd;
    for (int handle : osd.regionHandles()) {
        const sim::Surface *surface = osd.region(handle);
        if (surface == nullptr || surface->pixels.empty())
            continue;
        for (int row = 0; row < surface->height; ++row)
            for (int column = 0; column < surface->width; ++column)
                if (surface->at(column, row) >> 24 != 0) {
                    area.left = std::min(area.left, column);
                    area.top = std::min(area.top, row);
                    area.right = std::max(area.right, column + 1);
                    area.bottom = std::max(area.bottom, row + 1);
                }
    }
    removeStatusWindow();
    return area;
}

// The program draws, the simulator's typesetter measures: a router line rings for each entry, then the
// phone book opens and its cursor visits every entry, so that each name and info text is drawn where
// the receiver shows it. Nothing is painted.
void SimulatedReceiver::layOutTexts(ProgramStart &start)
{
    sim::Typesetter typesetter;
    std::vector<CutText> cuts;
    sim::Osd &osd = sim::firmware().osd;
    struct Unplug {
        sim::Osd &osd;
        ~Unplug() { osd.setTextRenderer({}); }
    } unplug{osd}; // the renderer refers to this frame's typesetter
    osd.setTextRenderer([&](sim::Surface &, int x, int, int maxX, std::string_view text, const sim::TextStyle &style) {
        if (style.dot && typesetter.width(text, style.fontSize) > maxX - x)
            cuts.push_back({std::string(text), utf8(typesetter.fitted(text, style.fontSize, maxX - x))});
    });
    for (const LoadedEntry &entry : start.entries) {
        cuts.clear();
        if (ringable(entry.number)) {
            std::string line = "09.12.26 20:00:00;RING;0;" + entry.number + ";;SIP0;\n";
            startLine(&FritzBoxMonitor);
            handleData(line.c_str(), &FritzBoxMonitor);
        }
        start.barCuts.push_back(cuts);
    }
    removeStatusWindow();
    cuts.clear();
    setPage(BOOK_PHONEBOOK);
    for (std::size_t i = 1; i < start.entries.size(); ++i)
        bookCursorDown();
    hideBook();
    start.bookCuts = cuts;
}

std::vector<std::string> SimulatedReceiver::loadSettings(const std::string &name)
{
    auto &journal = sim::firmware().journal;
    journal.clear();
    enterSettingsFolder();
    ::loadSettings(name.c_str());
    std::vector<std::string> prints = journal.prints();
    journal.clear();
    return prints;
}

} // namespace book
