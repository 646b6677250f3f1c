// ringwatcher-book check and check-settings: the program's own messages tied to the lines it read
// them from, counted as the program counts lines, and what it cuts, drops or reads differently.
#include "book_test.h"

#include <algorithm>
#include <sstream>

#include "check/check.h"
#include "check/receiverDisk.h"

namespace
{

namespace fs = std::filesystem;
using booktest::dataFile;
using booktest::runTool;
using booktest::writeBytes;
using Severity = book::Finding::Severity;

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

bool found(const book::CheckReport &report, int line, Severity severity, const std::string &text)
{
    return std::any_of(report.findings.begin(), report.findings.end(), [&](const book::Finding &f) {
        return f.line == line && f.severity == severity && contains(f.text, text);
    });
}

std::vector<int> linesWith(const book::CheckReport &report, Severity severity)
{
    std::vector<int> lines;
    for (const auto &f : report.findings)
        if (f.severity == severity)
            lines.push_back(f.line);
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

std::string report(const book::CheckReport &r)
{
    std::ostringstream out;
    book::printCheckReport(out, r);
    return out.str();
}

class CheckBook : public booktest::ToolTest
{
  protected:
    book::CheckReport check(const std::string &contents)
    {
        writeBytes(folder / "addrbook.dat", contents);
        return book::checkAddressBook(folder / "addrbook.dat");
    }
};

TEST_F(CheckBook, GoodFileLoadsWithoutMessages)
{
    auto run = runTool({"check", dataFile("good_addrbook.dat")});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "good_addrbook.dat:4: note: first entry \"0305550001\" = \"Zuhause\""))
        << run.output;
    EXPECT_TRUE(contains(run.output, "good_addrbook.dat:7: note: empty number")) << run.output;
    EXPECT_TRUE(contains(run.output, "6 entries loaded: the first names the own line, 5 listed")) << run.output;
    EXPECT_TRUE(contains(run.output, "0 error(s), 0 warning(s), 2 note(s)")) << run.output;
}

TEST_F(CheckBook, BadFileIsReportedLineByLineAsTheProgramCountsLines)
{
    book::CheckReport r = book::checkAddressBook(dataFile("bad_addrbook.dat"));
    EXPECT_EQ(r.programPrints,
              (std::vector<std::string>{"Load Adressbook ERROR in line:10\n", "Error in Addressbook file\n"}));
    EXPECT_TRUE(found(r, 10, Severity::error,
                      "no \"=\" in the line; the program stops loading here and prints "
                      "\"Load Adressbook ERROR in line:10\" and \"Error in Addressbook file\""))
        << report(r);
    EXPECT_TRUE(found(r, 6, Severity::warning, "longer than 127 characters")) << report(r);
    EXPECT_TRUE(found(r, 6, Severity::warning,
                      "name of 68 characters cut to 63: \"J\303\266rg M\303\274ller-L\303\274denscheidt aus der "
                      "Gartenstra\303\237e 17 im Hinterhaus \""))
        << report(r);
    EXPECT_TRUE(found(r, 6, Severity::warning, "the program looks for \"joerg-mueller-luedenscheidt.jpe\""));
    EXPECT_TRUE(found(r, 7, Severity::warning, "\"030 555 123\" holds characters the router never sends"));
    EXPECT_TRUE(
        found(r, 8, Severity::warning, "is already on line 4: lookups find only that entry (\"Anna Schmidt\")"));
    EXPECT_TRUE(found(r, 11, Severity::warning, "\"0171000001\" = \"Verloren Eins\" is lost"));
    EXPECT_TRUE(found(r, 13, Severity::warning, "\"0171000002\" = \"Verloren Zwei\" is lost"));
    EXPECT_EQ(linesWith(r, Severity::error), (std::vector<int>{10}));
    EXPECT_EQ(linesWith(r, Severity::warning), (std::vector<int>{6, 7, 8, 11, 13}));
    EXPECT_EQ(r.summary, (std::vector<std::string>{
                             "5 entries loaded: the first names the own line, 4 listed on the phone-book page",
                             "2 entries lost, on lines 11 to 13"}));

    auto run = runTool({"check", dataFile("bad_addrbook.dat")});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(contains(run.output, "bad_addrbook.dat:10: error: ")) << run.output;
}

TEST_F(CheckBook, EntriesBeyondTheProgramsLimitAreLost)
{
    std::string contents = "# 130 entries\n";
    for (int i = 0; i < 130; ++i)
        contents += "030" + std::to_string(1000 + i) + " = Name " + std::to_string(i) + "\n";
    book::CheckReport r = check(contents);
    EXPECT_EQ(r.programPrints, (std::vector<std::string>{"To many entries in address book"}));
    EXPECT_TRUE(found(r, 130, Severity::error, "entry 129: the program holds only 128 entries")) << report(r);
    EXPECT_TRUE(found(r, 131, Severity::warning, "\"0301129\" = \"Name 129\" is lost")) << report(r);
    EXPECT_EQ(r.summary.at(1), "2 entries lost, on lines 130 to 131");
}

TEST_F(CheckBook, CrLfAcrossTheProgramsReadBlocksCountsAsTwoLineEnds)
{
    // The CR is the last byte of the program's first 1024-byte block, the LF the first of the next: the
    // program counts an extra empty line, so the faulty third line is its fourth.
    std::string contents = "#" + std::string(1022, 'x') + "\r\n" + "0301 = A\r\n" + "kaputt\r\n";
    ASSERT_EQ(contents[1023], '\r');
    book::CheckReport r = check(contents);
    EXPECT_EQ(r.programPrints.at(0), "Load Adressbook ERROR in line:4\n");
    EXPECT_TRUE(found(r, 4, Severity::error, "no \"=\"")) << report(r);
    EXPECT_TRUE(found(r, 3, Severity::note, "first entry \"0301\" = \"A\"")) << report(r);
}

TEST_F(CheckBook, OverLongLinesAndValuesAreCutWhereTheProgramCutsThem)
{
    // 163 characters: the program reads 160, so 137 are left of the value and it keeps 127 of them.
    std::string cutValue = "0" + std::string(19, '5') + " = " + std::string(140, 'W');
    // Name, picture, then an info that the value's cut leaves 56 characters long.
    std::string cutInfo = "0302 = " + std::string(60, 'L') + ", pic.jpg, " + std::string(100, 'i');
    book::CheckReport r = check("0301 = Own\n" + cutValue + "\n" + cutInfo + "\n");
    EXPECT_TRUE(r.programPrints.empty()) << report(r);
    EXPECT_TRUE(found(r, 2, Severity::warning, "the line has 163 characters; the program reads only the first 160"))
        << report(r);
    EXPECT_TRUE(found(r, 2, Severity::warning, "longer than 127 characters")) << report(r);
    EXPECT_TRUE(found(r, 2, Severity::warning, "name of 127 characters cut to 63")) << report(r);
    EXPECT_TRUE(found(r, 3, Severity::warning, "the line has 178 characters")) << report(r);
    EXPECT_TRUE(found(r, 3, Severity::warning, "info \"" + std::string(56, 'i') + "\" cut to 31 characters"))
        << report(r);
    EXPECT_FALSE(found(r, 3, Severity::warning, "name of")) << report(r);

    // A number over 31 characters on a line of at most 160 leaves no room for an over-long value, so
    // the program stops there.
    book::CheckReport stop = check("0301 = Own\n0" + std::string(33, '5') + " = " + std::string(124, 'W') + "\n");
    EXPECT_TRUE(found(stop, 2, Severity::error, "the number is longer than 31 characters")) << report(stop);
}

TEST_F(CheckBook, SmallFilesAndUtf8Text)
{
    book::CheckReport one = check("0301234 = Solo, solo.jpg, Privat\n");
    EXPECT_TRUE(found(one, 1, Severity::note, "first entry \"0301234\" = \"Solo\"")) << report(one);
    EXPECT_EQ(one.summary.at(0), "1 entry loaded: the first names the own line, 0 listed on the phone-book page");

    book::CheckReport empty = check("# nothing yet\n\n");
    EXPECT_TRUE(empty.programPrints.empty());
    EXPECT_TRUE(empty.findings.empty());
    EXPECT_TRUE(contains(empty.summary.at(0), "no entries"));

    book::CheckReport utf8 = check("\357\273\2770301 = Own\n0302 = J\303\266rg\n");
    EXPECT_TRUE(found(utf8, 1, Severity::warning, "byte-order mark")) << report(utf8);
    EXPECT_TRUE(found(utf8, 2, Severity::warning, "looks UTF-8 encoded")) << report(utf8);
}

class CheckSettings : public booktest::ToolTest
{
  protected:
    book::CheckReport check(const std::string &contents)
    {
        writeBytes(folder / "ringwatcher.ini", contents);
        return book::checkSettings(folder / "ringwatcher.ini");
    }
};

TEST_F(CheckSettings, GoodFileHasNothingToSay)
{
    auto run = runTool({"check-settings", dataFile("good_settings.ini")});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "10 setting line(s), 10 applied")) << run.output;
    EXPECT_TRUE(contains(run.output, "0 error(s), 0 warning(s), 0 note(s)")) << run.output;
}

TEST_F(CheckSettings, BadFileIsReportedLineByLine)
{
    book::CheckReport r = book::checkSettings(dataFile("bad_settings.ini"));
    EXPECT_EQ(r.programPrints, (std::vector<std::string>{
                                   "ERROR: Unknown variable name \"xpos\" in settings file\n",
                                   "ERROR: Variable value to long in settings file\n",
                                   "ERROR in line:10 in settings file\n",
                                   "ERROR: Variable name to long in settings file\n",
                                   "ERROR: Variable value to long in settings file\n",
                               }));
    EXPECT_TRUE(found(r, 3, Severity::error,
                      "\"ERROR: Unknown variable name \"xpos\" in settings file\": names are "
                      "case-sensitive, did you mean \"Xpos\"?"))
        << report(r);
    EXPECT_TRUE(found(r, 4, Severity::warning, "\"2.5\" is read as 2"));
    EXPECT_TRUE(found(r, 5, Severity::warning, "\"0x10049\" is read as 0: numbers are decimal here, write 65609"));
    EXPECT_TRUE(found(r, 6, Severity::warning, "ignored: key code 65559"));
    EXPECT_TRUE(found(r, 7, Severity::warning, "so blue becomes 255: the colour is 0xFF0000FF"));
    EXPECT_TRUE(found(r, 8, Severity::error, "value to long in settings file\": FritzBox holds at most 31"));
    EXPECT_TRUE(found(r, 10, Severity::error, "\"ERROR in line:10 in settings file\""));
    EXPECT_TRUE(found(r, 11, Severity::error, "\"ERROR: Variable name to long in settings file\""));
    EXPECT_TRUE(found(r, 12, Severity::error, "the value has more than 127 characters"));
    EXPECT_TRUE(found(r, 13, Severity::warning, "Xpos is set again on line 14, whose value counts"));
    EXPECT_EQ(linesWith(r, Severity::error), (std::vector<int>{3, 8, 10, 11, 12}));
    EXPECT_EQ(linesWith(r, Severity::warning), (std::vector<int>{4, 5, 6, 7, 13}));

    auto run = runTool({"check-settings", dataFile("bad_settings.ini")});
    EXPECT_EQ(run.status, 1) << run.output;
}

TEST_F(CheckSettings, ValuesAsTheProgramStoresThem)
{
    struct Case {
        std::string line;
        Severity severity;
        std::string text; // empty: nothing to report
    };
    const Case cases[] = {
        {"FontColor = 255,255,0,", Severity::warning, ""},
        {"FontColor = 255,255,0", Severity::warning, "the colour is 0xFFFFFFFF"},
        {"FontColor = 10,20", Severity::warning, "green and blue become"},
        {"FontColor = 10,20", Severity::warning, "0xFF0AFFFF"},
        {"FontColor = 0,256,0,", Severity::warning, "spills into the others: the colour is 0xFF010000"},
        {"FontColor = 0,0,0,garbage", Severity::note, "text after the third comma is ignored"},
        {"ActionKey = 65609", Severity::warning, ""},
        {"ActionKey = 65605", Severity::warning, "ignored: key code 65605"},
        {"DisplayDelay = abc", Severity::warning, "\"abc\" is read as 0"},
        {"DisplayDelay = abc", Severity::note, "0 seconds: an error message stays on the screen until it is dismissed"},
        {"IncomingDelay = 0", Severity::note, "0 seconds: the call's window stays until it is dismissed or replaced"},
        {"StartupConnectDelay = 0", Severity::note, "0 seconds: the program connects at its first chance"},
        {"StartupConnectDelay = 2", Severity::warning, "under 5 seconds: once its three attempts are used up"},
        {"StartupConnectDelay = -1", Severity::warning, "no connection attempt for more than 248 days"},
        {"StartupConnectDelay = 5", Severity::warning, ""},
        {"ActionKey = 0x10049", Severity::warning, "\"0x10049\" is read as 0: numbers are decimal here, write 65609"},
        {"ActionKey = 0x10049", Severity::warning, "the action key is then 0, a code no key of the remote sends"},
        {"DisplayDelay = -1", Severity::warning, "vanish"},
        {"DisplayDelay = 30000000", Severity::warning, "ticks wrap around to -1294967296"},
        {"DisconnectDelay = -2", Severity::note, "-2: a disconnect leaves the window as it is"},
        {"Xpos = 99999999999", Severity::warning, "is read as"},
        {"FritzBoxLineNumbering = 2", Severity::warning, "2 is taken as 0"},
        {"AreaCode = 30", Severity::warning, "does not start with 0"},
        {"AreaCode = 030 1", Severity::warning, "holds more than digits"},
        {"AreaCode = 0" + std::string(31, '1'), Severity::error, "AreaCode holds at most 31 characters"},
        {"MSN = 5550001", Severity::warning, ""},
        // Where the program draws the bars on the simulated receiver: the call bar is 568 x 84, the error
        // bar 566 x 84, and a call's message line ends 622 pixels right of Xpos.
        {"Xpos = 500", Severity::warning,
         "the call bar (568 x 84 at x 500, y 56): the receiver draws only x 500 to 720 of it, the rest is off the "
         "screen (Xpos 0 to 152 keeps it whole)"},
        {"Xpos = 153", Severity::warning, "draws only x 153 to 720 of it"},
        {"Xpos = 800", Severity::warning,
         "the call bar (568 x 84 at x 800, y 56) lies off the 720 x 576 screen: the receiver draws no part of it"},
        {"Xpos = -5", Severity::warning, "draws only x 0 to 563 of it"},
        {"Xpos = 120", Severity::warning, "message line reaches x 742, past the screen's right edge"},
        {"Xpos = 98", Severity::warning, ""},
        {"Ypos = 493", Severity::warning, "Ypos 0 to 492 keeps it whole"},
        {"Ypos = -10", Severity::warning, "draws only y 0 to 74 of it"},
        {"Ypos = -1", Severity::warning, ""}, // the bar's top row is clear: nothing of it is lost
        {"Ypos = 492", Severity::warning, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        book::CheckReport r = check("# settings\n" + c.line + "\n");
        if (c.text.empty())
            EXPECT_TRUE(r.findings.empty()) << report(r);
        else
            EXPECT_TRUE(found(r, 2, c.severity, c.text)) << report(r);
        EXPECT_EQ(r.programReportsErrors(), c.severity == Severity::error);
    }
}

TEST_F(CheckSettings, BarsAreReportedAsTheProgramDrawsThemOnTheSimulatedReceiver)
{
    // Low and to the right: the receiver still draws the top left of both bars, which are said once.
    book::CheckReport r = check("Xpos = 200\nYpos = 500\n");
    EXPECT_TRUE(found(r, 1, Severity::warning,
                      "the call bar (568 x 84 at x 200, y 500): the receiver draws only x 200 "
                      "to 720 of it"))
        << report(r);
    EXPECT_TRUE(found(r, 2, Severity::warning, "draws only y 501 to 576 of it")) << report(r);
    EXPECT_EQ(r.count(Severity::warning), 2u) << report(r);
    // Between the two bars' widths only the wider call bar is cut.
    book::CheckReport between = check("Xpos = 153\n");
    EXPECT_FALSE(found(between, 1, Severity::warning, "the error bar")) << report(between);
}

TEST_F(CheckSettings, WarningsAloneDoNotFailTheCheck)
{
    writeBytes(folder / "ringwatcher.ini", "DisplayDelay = 2.5\r\nFontColor = 0,0,0\r\n");
    auto run = runTool({"check-settings", (folder / "ringwatcher.ini").string()});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "ringwatcher.ini:1: warning: \"2.5\" is read as 2")) << run.output;
    EXPECT_TRUE(contains(run.output, "0 error(s), 2 warning(s)")) << run.output;
}

TEST_F(CheckSettings, FilesThatCannotBeCheckedAreUsageErrors)
{
    EXPECT_EQ(runTool({"check", (folder / "missing.dat").string()}).status, 2);
    EXPECT_EQ(runTool({"check-settings", folder.string()}).status, 2);
    EXPECT_EQ(runTool({"check"}).status, 2);
    writeBytes(folder / "huge.ini", std::string(book::checkedFileMax + 1, '#'));
    auto run = runTool({"check-settings", (folder / "huge.ini").string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.output, "far too large")) << run.output;
}

// Names and info texts laid out as the program lays them out, with the simulator's fonts: the call bar
// gives a name 360 pixels, the book window 258, and an info text 166.
TEST_F(CheckBook, NamesAndInfoTextsTheScreenCutsAreNamedWithTheCutText)
{
    struct Case {
        int line;
        std::string entry;  // Latin-1
        std::string report; // UTF-8; empty: nothing is cut
    };
    const std::vector<Case> cases = {
        {2, "0305550001 = Zuhause", ""},
        {3, "0301111111 = Zo\353 \305ngstr\366m-Lukasiewicz mit einem sehr langen Namen",
         "name \"Zoë Ångström-Lukasiewicz mit einem sehr langen Namen\" is too wide for the screen: the call bar "
         "shows \"Zoë Ångström-Lukasiewicz mit einem sehr langen…\", the book window \"Zoë Ångström-Lukasiewicz "
         "mit eine…\""},
        {4, "0302222222 = Maximilian Mustermann-Schulze aus Berlin",
         "name \"Maximilian Mustermann-Schulze aus Berlin\" is too wide for the screen: the book window shows "
         "\"Maximilian Mustermann-Schulze au…\""},
        {5, "0303333333 = Bea Kurz,,Dienstlich in der Hauptstelle",
         "info \"Dienstlich in der Hauptstelle\" is too wide for the screen: the book window shows \"Dienstlich in der "
         "Haup…\""},
        {6, "0304444444 = Kurz,,Mobil", ""},
    };
    std::string contents = "# own line first\n";
    for (const Case &c : cases)
        contents += c.entry + "\n";
    fs::path disk = folder / "disk";
    fs::path bookFile = book::diskLayout(disk).book;
    fs::create_directories(bookFile.parent_path());
    writeBytes(bookFile, contents);

    book::CheckReport r = book::checkAddressBook(bookFile);
    for (const Case &c : cases) {
        bool cut = std::any_of(r.findings.begin(), r.findings.end(), [&](const book::Finding &f) {
            return f.line == c.line && contains(f.text, "too wide for the screen");
        });
        if (c.report.empty())
            EXPECT_FALSE(cut) << c.entry << "\n" << report(r);
        else
            EXPECT_TRUE(found(r, c.line, Severity::warning, c.report)) << c.report << "\n" << report(r);
    }

    auto run = runTool({"check", "--disk", disk.string()});
    EXPECT_TRUE(contains(run.output, "addrbook.dat:3: warning: name \"Zoë")) << run.output;
}

} // namespace
