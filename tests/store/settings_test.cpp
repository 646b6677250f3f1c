// The settings file: every key landing in its module, the conversions, and
// every failure with its print line and its status-window message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "store_test.h"

#include "events/fritzbox.h"
#include "shell/keyRouting.h"
#include "shell/routerConnection.h"
#include "shell/settings.h"
#include "shell/statusWindow.h"
#include "store/addressbook.h"
#include "view/fontColor.h"

namespace
{

const char *const errorInSettings = "Fehler in der konfigurationsdatei";
const char *const errorOpeningSettings = "Fehler beim \326ffnen der konfigurationsdatei";
const char *const valueTooLongLine = "ERROR: Variable value to long in settings file\n";

std::string repeat(char c, size_t n)
{
    return std::string(n, c);
}

// One TAP_Osd_PutS of the journal.
struct TextDrawn {
    int x = 0;
    int y = 0;
    unsigned color = 0;
    std::string text; // as the journal escapes it
};

std::vector<TextDrawn> textsDrawn(const std::vector<std::string> &calls)
{
    std::vector<TextDrawn> out;
    for (const std::string &call : calls) {
        if (call.rfind("TAP_Osd_PutS(", 0) != 0)
            continue;
        TextDrawn t;
        size_t open = call.find('"');
        size_t close = call.rfind("\",0x");
        if (open == std::string::npos || close == std::string::npos ||
            std::sscanf(call.c_str(), "TAP_Osd_PutS(%*[^,],%d,%d,", &t.x, &t.y) != 2 ||
            std::sscanf(call.c_str() + close + 2, "0x%X", &t.color) != 1) {
            ADD_FAILURE() << "unreadable journal line " << call;
            continue;
        }
        t.text = call.substr(open + 1, close - open - 1);
        out.push_back(t);
    }
    return out;
}

// The drawing calls of each message, up to its TAP_Osd_Sync, with the
// region number left out so that drawings in different windows compare.
std::vector<std::vector<std::string>> messagesDrawn(const std::vector<sim::JournalEntry> &entries, size_t from = 0)
{
    std::vector<std::vector<std::string>> out;
    std::vector<std::string> current;
    for (size_t i = from; i < entries.size(); ++i) {
        const sim::JournalEntry &e = entries[i];
        if (e.kind != sim::JournalEntry::Kind::call)
            continue;
        if (e.text == "TAP_Osd_Sync()") {
            if (!current.empty())
                out.push_back(current);
            current.clear();
        } else if (e.text.rfind("TAP_Osd_Put", 0) == 0) {
            size_t open = e.text.find('(');
            size_t comma = e.text.find(',', open);
            current.push_back(e.text.substr(0, open + 1) + "rgn" + e.text.substr(comma));
        }
    }
    return out;
}

class Settings : public store_test::StoreTest
{
  protected:
    int load(const std::string &contents)
    {
        writeSettings(contents);
        return loadSettings("ringwatcher.ini");
    }

    std::vector<std::vector<std::string>> messages() { return messagesDrawn(journal().entries()); }

    std::vector<uint32_t> windowPixels()
    {
        const sim::Surface *surface = fw().osd.region(statusWindow);
        return surface ? surface->pixels : std::vector<uint32_t>{};
    }

    // The last message on screen is what displayErrorMessage(type, text)
    // draws in a fresh window with the settings now in force: the same calls
    // (position, colour, texts, image sizes) and the same pixels (the image
    // of the error type).
    void expectLastMessage(int type, const char *text)
    {
        std::vector<std::vector<std::string>> shown = messages();
        ASSERT_FALSE(shown.empty()) << "no message was drawn";
        ASSERT_NE(statusWindow, -1);
        std::vector<uint32_t> shownPixels = windowPixels();

        bool textFound = false;
        for (const TextDrawn &t : textsDrawn(shown.back()))
            textFound = textFound || t.text == sim::escapeText(text);
        EXPECT_TRUE(textFound) << "the text \"" << sim::escapeText(text) << "\" was not drawn";

        size_t mark = journal().entries().size();
        removeStatusWindow();
        displayErrorMessage(type, text);
        std::vector<std::vector<std::string>> reference = messagesDrawn(journal().entries(), mark);
        ASSERT_EQ(reference.size(), 1u);
        EXPECT_EQ(shown.back(), reference[0]);
        EXPECT_TRUE(shownPixels == windowPixels()) << "another error image than type " << type;
        removeStatusWindow();
    }

    void expectNoMessage()
    {
        EXPECT_EQ(statusWindow, -1);
        for (const std::string &call : journal().calls())
            EXPECT_EQ(call.rfind("TAP_Osd_", 0), std::string::npos) << call;
    }

    void TearDown() override
    {
        if (statusWindow != -1)
            removeStatusWindow();
        EXPECT_EQ(liveBlocks(), 0u) << "the settings loader left heap blocks behind";
        EXPECT_EQ(openFiles(), 0u) << "the settings file was left open";
        StoreTest::TearDown();
    }
};

// The line number the call interpretation shows for connection id 3.
std::vector<int> &linesShown()
{
    static std::vector<int> lines;
    return lines;
}

void recordLine(const FBMessage *message)
{
    linesShown().push_back(message->line);
}

int lineShownForConnection3()
{
    MonitorState monitor{};
    monitor.command = EVENT_RING;
    monitor.connectionId = 3;
    std::strcpy(monitor.param3, "0301234");
    std::strcpy(monitor.param4, "555");
    monitor.displayCallback = recordLine;
    linesShown().clear();
    showMessage(&monitor);
    return linesShown().empty() ? -1 : linesShown().back();
}

// --- Failures, as the program reports them ---

TEST_F(Settings, MissingFileKeepsEveryDefault)
{
    EXPECT_EQ(loadSettings("ringwatcher.ini"), -1);
    EXPECT_EQ(prints(), std::vector<std::string>{"ERROR: Failed to open settings file\n"});
    expectLastMessage(MSG_ERR_LOAD_INI, errorOpeningSettings);
    EXPECT_EQ(statusWindowXOffset, 30);
    EXPECT_EQ(statusWindowYOffset, 56);
    EXPECT_EQ(displayDelay, 600);
    EXPECT_EQ(startupConnectDelay, 3000);
    EXPECT_EQ(fontColor, 0xFFFFFFFFu);
    EXPECT_EQ(actionKey, 0x10049u);
}

TEST_F(Settings, ReaderRefusedForLackOfHeapIsAFailedOpen)
{
    writeSettings("Xpos = 100\n");
    heapWithAvailable(1039);
    EXPECT_EQ(loadSettings("ringwatcher.ini"), -1);
    EXPECT_EQ(prints(), std::vector<std::string>{"ERROR: Failed to open settings file\n"});
    EXPECT_EQ(statusWindowXOffset, 30);
    expectLastMessage(MSG_ERR_LOAD_INI, errorOpeningSettings);
}

TEST_F(Settings, UnknownNameIsReportedAndIgnored)
{
    EXPECT_EQ(load("Colour = 1,2,3,\n"), 1);
    EXPECT_EQ(prints(), std::vector<std::string>{"ERROR: Unknown variable name \"Colour\" in settings file\n"});
    expectLastMessage(MSG_ERR_IN_INI, errorInSettings);
    EXPECT_EQ(fontColor, 0xFFFFFFFFu);
}

TEST_F(Settings, NamesAreCaseSensitive)
{
    EXPECT_EQ(load("xpos = 100\n"), 1);
    EXPECT_EQ(prints(), std::vector<std::string>{"ERROR: Unknown variable name \"xpos\" in settings file\n"});
    expectLastMessage(MSG_ERR_IN_INI, errorInSettings);
    EXPECT_EQ(statusWindowXOffset, 30);
}

TEST_F(Settings, OverlongNameIsReportedAndIgnored)
{
    EXPECT_EQ(load("Xpos" + repeat('X', 28) + " = 100\n"), 1);
    EXPECT_EQ(prints(), std::vector<std::string>{"ERROR: Variable name to long in settings file\n"});
    expectLastMessage(MSG_ERR_IN_INI, errorInSettings);
    EXPECT_EQ(statusWindowXOffset, 30);
}

TEST_F(Settings, OverlongValueIsReportedAndIgnored)
{
    EXPECT_EQ(load("Xpos = 1" + repeat('0', 127) + "\n"), 1);
    EXPECT_EQ(prints(), std::vector<std::string>{valueTooLongLine});
    expectLastMessage(MSG_ERR_IN_INI, errorInSettings);
    EXPECT_EQ(statusWindowXOffset, 30);
}

TEST_F(Settings, LineWithoutEqualsNamesItsLine)
{
    EXPECT_EQ(load("# Ringwatcher\n\nXpos = 40\n# position\n\nYpos = 60\nXpos 100\nConnectDelay = 3\n"), 1);
    EXPECT_EQ(prints(), std::vector<std::string>{"ERROR in line:7 in settings file\n"});
    expectLastMessage(MSG_ERR_IN_INI, errorInSettings);
    EXPECT_EQ(statusWindowXOffset, 40);
    EXPECT_EQ(connectDelay, 300) << "reading goes on after an error";
}

TEST_F(Settings, RefusedActionKeysAreIgnoredSilently)
{
    for (unsigned code : {0x1000Fu, 0x10012u, 0x10015u, 0x10017u, 0x1001Du, 0x10045u, 0x10046u}) {
        EXPECT_EQ(load("ActionKey = " + std::to_string(code) + "\n"), 1);
        EXPECT_EQ(actionKey, 0x10049u) << code;
    }
    EXPECT_TRUE(prints().empty());
    expectNoMessage();
}

TEST_F(Settings, NumberWithoutDigitsStoresZeroSilently)
{
    EXPECT_EQ(load("Xpos = abc\nDisplayDelay = abc\n"), 1);
    EXPECT_EQ(statusWindowXOffset, 0);
    EXPECT_EQ(displayDelay, 0);
    EXPECT_TRUE(prints().empty());
    expectNoMessage();
}

TEST_F(Settings, FileOfCommentsChangesNothing)
{
    EXPECT_EQ(load("# Ringwatcher settings\n\n   # Xpos = 100\n\t\n"), 1);
    EXPECT_TRUE(prints().empty());
    expectNoMessage();
    EXPECT_EQ(statusWindowXOffset, 30);
    EXPECT_EQ(displayDelay, 600);
}

// --- Every key in its place ---

TEST_F(Settings, EveryKeyLandsInItsModule)
{
    std::string file = "Xpos = 100\n"
                       "Ypos = 200\n"
                       "DisplayDelay = 1\n"
                       "FritzBox = 192.168.178.1\n"
                       "StartupConnectDelay = 2\n"
                       "IncomingDelay = 3\n"
                       "ConnectDelay = 4\n"
                       "CalloutDelay = 5\n"
                       "DisconnectDelay = 6\n"
                       "FontColor = 1,2,3,\n"
                       "FritzBoxLineNumbering = 0\n"
                       "AreaCode = 030\n"
                       "MSN = 5551;5552\n"
                       "ActionKey = 65560\n";
    EXPECT_EQ(load(file), 1);
    EXPECT_TRUE(prints().empty());
    expectNoMessage();
    EXPECT_EQ(statusWindowXOffset, 100);
    EXPECT_EQ(statusWindowYOffset, 200);
    EXPECT_EQ(displayDelay, 100);
    EXPECT_STREQ(fritzBox, "192.168.178.1");
    EXPECT_EQ(startupConnectDelay, 200);
    EXPECT_EQ(incomingDelay, 300);
    EXPECT_EQ(connectDelay, 400);
    EXPECT_EQ(calloutDelay, 500);
    EXPECT_EQ(disconnectDelay, 600);
    EXPECT_EQ(fontColor, 0xFF010203u);
    EXPECT_EQ(lineShownForConnection3(), 2);
    char number[32] = "1234";
    char name[64];
    findName(number, name, nullptr, nullptr);
    EXPECT_STREQ(number, "0301234");
    EXPECT_TRUE(showInfo("5552"));
    EXPECT_FALSE(showInfo("5553"));
    EXPECT_EQ(actionKey, 65560u);
}

TEST_F(Settings, DelaysAreSecondsHeldAsTicks)
{
    EXPECT_EQ(load("DisplayDelay = 4\n"), 1);
    EXPECT_EQ(displayDelay, 400);
    EXPECT_EQ(load("DisplayDelay = 2.5\n"), 1);
    EXPECT_EQ(displayDelay, 200);
    EXPECT_EQ(load("DisconnectDelay = -2\n"), 1);
    EXPECT_EQ(disconnectDelay, -200);
    EXPECT_EQ(load("StartupConnectDelay = 0\n"), 1);
    EXPECT_EQ(startupConnectDelay, 0);
}

TEST_F(Settings, HugeDelaysWrapIn32Bits)
{
    // 21474837 s = 2147483700 ticks, which a signed 32-bit number cannot hold.
    EXPECT_EQ(load("IncomingDelay = 21474837\nCalloutDelay = -21474837\n"), 1);
    EXPECT_EQ(incomingDelay, -2147483596);
    EXPECT_EQ(calloutDelay, 2147483596);
}

struct ColorCase {
    const char *value;
    unsigned color;
};

void PrintTo(const ColorCase &c, std::ostream *os)
{
    *os << "\"" << c.value << "\"";
}

class FontColor : public Settings, public ::testing::WithParamInterface<ColorCase>
{
};

TEST_P(FontColor, ComponentsNeedTheirComma)
{
    EXPECT_EQ(load(std::string("FontColor = ") + GetParam().value + "\n"), 1);
    EXPECT_EQ(fontColor, GetParam().color) << "FontColor = " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Examples, FontColor,
                         ::testing::Values(ColorCase{"255,255,0,", 0xFFFFFF00u}, ColorCase{"255,255,0", 0xFFFFFFFFu},
                                           ColorCase{"10,20", 0xFF0AFFFFu}, ColorCase{"128", 0xFFFFFFFFu},
                                           ColorCase{"", 0xFFFFFFFFu}, ColorCase{"0,0,0,", 0xFF000000u},
                                           ColorCase{"0,0,0", 0xFF0000FFu}, ColorCase{"0,256,0,", 0xFF010000u},
                                           ColorCase{"1,2,3,4,5,", 0xFF010203u}, ColorCase{" 7 , x ,9,", 0xFF070009u},
                                           ColorCase{"-1,0,0,", 0xFFFF0000u}, ColorCase{"16777216,0,0,", 0xFF000000u},
                                           ColorCase{"0,0,-1,", 0xFFFFFFFFu}));

TEST_F(Settings, ActionKeyIsAnyOtherNumber)
{
    EXPECT_EQ(load("ActionKey = 0x10049\n"), 1);
    EXPECT_EQ(actionKey, 0u) << "hexadecimal is read as 0";
    EXPECT_EQ(load("ActionKey = -5\n"), 1);
    EXPECT_EQ(actionKey, static_cast<dword>(-5));
    EXPECT_EQ(load("ActionKey = 65550\n"), 1);
    EXPECT_EQ(actionKey, 65550u);
    EXPECT_EQ(load("ActionKey = 65559\n"), 1);
    EXPECT_EQ(actionKey, 65550u);
}

TEST_F(Settings, LineNumberingIsOneOrZero)
{
    EXPECT_EQ(lineShownForConnection3(), 3);
    EXPECT_EQ(load("FritzBoxLineNumbering = 2\n"), 1);
    EXPECT_EQ(lineShownForConnection3(), 2);
    EXPECT_EQ(load("FritzBoxLineNumbering = 1\n"), 1);
    EXPECT_EQ(lineShownForConnection3(), 3);
}

TEST_F(Settings, MsnOf127CharactersIsPassedWhole)
{
    std::string msns;
    while (msns.size() < 120)
        msns += std::to_string(5550000 + msns.size()) + ";";
    msns += repeat('9', 127 - msns.size());
    ASSERT_EQ(msns.size(), 127u);
    EXPECT_EQ(load("MSN = " + msns + "\n"), 1);
    EXPECT_TRUE(prints().empty());
    EXPECT_TRUE(showInfo(repeat('9', 127 - 120).c_str()));
    EXPECT_TRUE(showInfo(msns.c_str()));
    EXPECT_FALSE(showInfo("123"));
}

// --- Text settings and their 32-byte buffers ---

TEST_F(Settings, RouterNameOf31CharactersIsStored)
{
    std::string host = "router-" + repeat('h', 20) + ".lan";
    ASSERT_EQ(host.size(), 31u);
    EXPECT_EQ(load("FritzBox = " + host + "\n"), 1);
    EXPECT_EQ(std::string(fritzBox), host);
    EXPECT_TRUE(prints().empty());
}

TEST_F(Settings, LongerRouterNameIsRefusedAsTooLong)
{
    std::string before(fritzBox);
    EXPECT_EQ(load("FritzBox = " + repeat('h', 32) + "\n"), 1);
    EXPECT_EQ(std::string(fritzBox), before);
    EXPECT_EQ(prints(), std::vector<std::string>{valueTooLongLine});
    expectLastMessage(MSG_ERR_IN_INI, errorInSettings);

    EXPECT_EQ(load("FritzBox = box.lan\nFritzBox = " + repeat('h', 100) + "\n"), 1);
    EXPECT_STREQ(fritzBox, "box.lan") << "the valid line before stays";
}

TEST_F(Settings, LongerAreaCodeIsRefusedAsTooLong)
{
    EXPECT_EQ(load("AreaCode = 089\nAreaCode = 0" + repeat('1', 31) + "\n"), 1);
    EXPECT_EQ(prints(), std::vector<std::string>{valueTooLongLine});
    expectLastMessage(MSG_ERR_IN_INI, errorInSettings);
    char number[32] = "1234";
    char name[64];
    findName(number, name, nullptr, nullptr);
    EXPECT_STREQ(number, "0891234");
}

// --- Order of lines ---

TEST_F(Settings, LaterLinesOverrideEarlierOnes)
{
    EXPECT_EQ(load("Xpos = 10\nYpos = 11\nXpos = 20\n"), 1);
    EXPECT_EQ(statusWindowXOffset, 20);
    EXPECT_EQ(statusWindowYOffset, 11);
}

TEST_F(Settings, FaultyLaterLineKeepsTheEarlierValue)
{
    EXPECT_EQ(load("Xpos = 10\nXpos = " + repeat('2', 130) + "\nXpos 50\n"), 1);
    EXPECT_EQ(statusWindowXOffset, 10);
    EXPECT_EQ(prints(), (std::vector<std::string>{valueTooLongLine, "ERROR in line:3 in settings file\n"}));
}

TEST_F(Settings, EachFaultyLineIsDrawnInTheOneWindow)
{
    EXPECT_EQ(load("one = 1\ntwo = 2\nthree = 3\n"), 1);
    EXPECT_EQ(prints().size(), 3u);
    EXPECT_EQ(messages().size(), 3u);
    size_t created = 0;
    for (const std::string &call : journal().calls())
        created += call.rfind("TAP_Osd_Create(", 0) == 0;
    EXPECT_EQ(created, 1u);
    EXPECT_NE(statusWindow, -1) << "the last message stays until its timeout";
    EXPECT_EQ(statusTimeout, 600u);
}

TEST_F(Settings, MessagesUseTheSettingsInForceAtTheirLine)
{
    EXPECT_EQ(load("first = 1\n"
                   "Xpos = 100\n"
                   "Ypos = 200\n"
                   "FontColor = 0,0,0,\n"
                   "DisplayDelay = 2\n"
                   "second = 2\n"),
              1);
    std::vector<std::vector<std::string>> shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    std::vector<TextDrawn> first = textsDrawn(shown[0]);
    std::vector<TextDrawn> second = textsDrawn(shown[1]);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    // Every text of a message is placed relative to the window's position.
    EXPECT_EQ(second[0].x - first[0].x, 70);
    EXPECT_EQ(second[0].y - first[0].y, 144);
    for (const TextDrawn &t : first)
        EXPECT_EQ(t.color, 0xFFFFFFFFu) << t.text;
    for (const TextDrawn &t : second)
        EXPECT_EQ(t.color, 0xFF000000u) << t.text;
    EXPECT_EQ(statusTimeout, 200u);
}

TEST_F(Settings, MessageBeforeTheDelayLineGetsTheDefaultTime)
{
    EXPECT_EQ(load("bogus = 1\nDisplayDelay = 2\n"), 1);
    EXPECT_EQ(statusTimeout, 600u);
}

TEST_F(Settings, MessageAfterZeroDelayStaysUntilDismissed)
{
    EXPECT_EQ(load("DisplayDelay = abc\nbogus = 1\n"), 1);
    EXPECT_NE(statusWindow, -1);
    EXPECT_EQ(statusTimeout, 0u);
}

} // namespace
