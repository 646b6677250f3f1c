// ringwatcher-book convert: router exports in both encodings to byte-exact address books, the
// numbers as the router sends them, the program's limits, and bad input that leaves no file behind.
#include "book_test.h"

#include <algorithm>

#include "check/check.h"
#include "check/simReceiver.h"
#include "convert.h"
#include "import/numbers.h"
#include "writer/latin1.h"
#include "writer/programLimits.h"

namespace
{

using booktest::dataFile;
using booktest::readBytes;
using booktest::runTool;
using booktest::writeBytes;

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// True when one warning names `subject` and says `text`.
bool warned(const book::Conversion &conversion, const std::string &subject, const std::string &text)
{
    return std::any_of(conversion.warnings.begin(), conversion.warnings.end(),
                       [&](const book::Warning &w) { return contains(w.subject, subject) && contains(w.text, text); });
}

std::size_t entryLines(const std::string &contents)
{
    std::size_t count = 0;
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t end = contents.find('\n', start);
        if (contents[start] != '#')
            count++;
        start = end + 1;
    }
    return count;
}

std::string contactXml(const std::string &name, const std::string &numbers, const std::string &image = "")
{
    return "<contact><category>0</category><person><realName>" + name + "</realName>" +
           (image.empty() ? "" : "<imageURL>" + image + "</imageURL>") + "</person><telephony>" + numbers +
           "</telephony><services /><setup /><mod_time>1716900000</mod_time><uniqueid>1</uniqueid></contact>";
}

std::string exportXml(const std::string &contacts)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<phonebooks><phonebook name=\"Telefonbuch\">" + contacts +
           "</phonebook></phonebooks>\n";
}

class Convert : public booktest::ToolTest
{
};

TEST_F(Convert, SmallExportInEitherEncodingGivesTheExactAddressBook)
{
    const std::string expected = readBytes(dataFile("small.expected.dat"));
    ASSERT_FALSE(expected.empty());
    for (const char *input : {"small.xml", "small_latin1.xml"}) {
        SCOPED_TRACE(input);
        auto output = folder / "addrbook.dat";
        auto run = runTool(
            {"convert", dataFile(input), "-o", output.string(), "--own-number", "0305550001", "--own-name", "Zuhause"});
        EXPECT_EQ(run.status, 0) << run.output;
        // The expected file was written by hand; only the own number differs from it.
        std::string wanted = expected;
        wanted.replace(wanted.find("5550001 = Zuhause"), 7, "0305550001");
        EXPECT_EQ(readBytes(output), wanted);
        EXPECT_TRUE(contains(run.output, "5 entries written")) << run.output;
        EXPECT_TRUE(contains(run.output, "0 warning(s)")) << run.output;
    }
}

TEST_F(Convert, OwnNumberWithoutLeadingZeroIsWrittenAsGivenAndReported)
{
    auto output = folder / "addrbook.dat";
    auto run = runTool(
        {"convert", dataFile("small.xml"), "-o", output.string(), "--own-number", "5550001", "--own-name", "Zuhause"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(readBytes(output), readBytes(dataFile("small.expected.dat")));
    EXPECT_TRUE(contains(run.output, "own line: number \"5550001\" has no leading 0")) << run.output;
}

TEST_F(Convert, FamilyExportWithMissingFieldsCommasAndForeignLetters)
{
    book::Conversion c = book::convertExport(dataFile("family.xml"), {});
    const std::string &text = c.book.contents;

    // No own number: the placeholder comes first.
    EXPECT_TRUE(contains(text, "\n- = Platzhalter\n0405551234 = "));
    // Several numbers per contact, "+49 (0)40" and "0049" as national numbers, umlauts in Latin-1.
    EXPECT_TRUE(contains(text, "\n0405551234 = Gro\337mutter K\344the, oma.jpg, Privat\n"));
    EXPECT_TRUE(contains(text, "\n01605551234 = Gro\337mutter K\344the, oma.jpg, Handy\n"));
    // The comma of "Mueller, Hans" would end the name; a label type is its own info text.
    EXPECT_TRUE(contains(text, "\n0891234560 = M\374ller; Hans, hans.jpg, Arbeit\n"));
    EXPECT_TRUE(contains(text, "\n046519876 = M\374ller; Hans, hans.jpg, Ferienhaus Sylt\n"));
    EXPECT_TRUE(warned(c, "M\303\274ller, Hans", "comma in the name written as \";\""));
    // No realName: the number stands for the name; no imageURL: the picture stays empty.
    EXPECT_TRUE(contains(text, "\n01725550000 = 01725550000, ohne-name.jpg, Handy\n"));
    EXPECT_TRUE(warned(c, "contact 3 (no name)", "no name"));
    // Other countries keep their international form; letters without a Latin-1 form are transliterated.
    EXPECT_TRUE(contains(text, "\n0048601555777 = Lukasz Wisniewski, , Handy\n"));
    EXPECT_TRUE(warned(c, "\305\201ukasz", "transliterated: \305\201 as L, \305\233 as s"));
    // A vanity number and a contact without telephony are reported, not written.
    EXPECT_FALSE(contains(text, "FLOWERS"));
    EXPECT_TRUE(warned(c, "\305\201ukasz", "\"0800-FLOWERS\" holds \"F\""));
    EXPECT_FALSE(contains(text, "Nur E-Mail"));
    EXPECT_TRUE(warned(c, "Nur E-Mail", "no telephone number"));
    // Over-long name and picture cut at the program's limits; the number shared with the grandmother
    // is written but reported, since lookups find her first.
    EXPECT_TRUE(contains(text, "\n0405551234 = Wohngemeinschaft Schillerstra\337e 12 Erdgeschoss links bei "
                               "Famili, wohngemeinschaft-schillerstrass, Privat\n"));
    EXPECT_TRUE(warned(c, "Wohngemeinschaft", "cut to 63 characters"));
    EXPECT_TRUE(warned(c, "Wohngemeinschaft", "picture file name \"wohngemeinschaft-schillerstrasse.jpg\" cut"));
    EXPECT_TRUE(warned(c, "Wohngemeinschaft", "is already in the entry of contact 1"));

    EXPECT_EQ(c.book.entries, 8u);
    EXPECT_EQ(entryLines(text), 8u);
    EXPECT_EQ(c.entries.contactsUsed, 5);
    EXPECT_EQ(c.entries.contactsSkipped, 1);
}

TEST_F(Convert, TheProgramLoadsWhatTheToolWrites)
{
    book::BookOptions options;
    options.suppressedName = "Unbekannt";
    auto output = folder / "addrbook.dat";
    book::Conversion c = book::convertExport(dataFile("family.xml"), options);
    book::saveAtomically(output, c.book.contents);

    book::SimulatedReceiver receiver;
    receiver.putFile("addrbook.dat", readBytes(output));
    receiver.putFile("ringwatcher.ini", "");
    book::ProgramStart start = receiver.startProgram();
    EXPECT_TRUE(start.prints.empty());
    ASSERT_EQ(start.entries.size(), 9u);
    EXPECT_EQ(start.entries[0].number, "-");
    EXPECT_EQ(start.entries[1].number, "");
    EXPECT_EQ(start.entries[1].name, "Unbekannt");
    EXPECT_EQ(start.entries[1].picture, "unknown.jpg");
    EXPECT_EQ(start.entries[2].name, "Gro\337mutter K\344the");
    EXPECT_EQ(start.entries[2].picture, "oma.jpg");
    EXPECT_EQ(start.entries[2].info, "Privat");
    EXPECT_EQ(start.entries[7].picture, "unknown.jpg"); // "?ukasz" has no picture
    EXPECT_EQ(start.entries[7].info, "Handy");
}

TEST(Numbers, WrittenAsTheRouterSendsThem)
{
    struct Case {
        const char *written, *country, *areaCode, *sent;
    };
    const Case cases[] = {
        {"030 1234-56", "49", "", "030123456"},
        {"030/123 456", "49", "", "030123456"},
        {"(030) 12.34.56", "49", "", "030123456"},
        {"030\302\240123456", "49", "", "030123456"},
        {"+49 30 123456", "49", "", "030123456"},
        {"0049 30 123456", "49", "", "030123456"},
        {"+49 (0)30 123456", "49", "", "030123456"},
        {"+49 030 123456", "49", "", "030123456"},
        {"+43 1 234567", "49", "", "00431234567"},
        {"0043 1 234567", "49", "", "00431234567"},
        {"+43 1 234567", "43", "", "01234567"},
        {"+49 30 123456", "43", "", "004930123456"},
        {"+49 30 123456", "", "", "004930123456"},
        {"**610", "49", "", "**610"},
        {"1234567", "49", "030", "0301234567"},
        {"089 1234", "49", "030", "0891234"},
        {"12345678901234567890123456789", "49", "030", "12345678901234567890123456789"}, // 32 with it
    };
    for (const Case &c : cases) {
        book::NormalisedNumber n = book::normaliseNumber(c.written, {c.country, c.areaCode});
        EXPECT_EQ(n.verdict, book::NormalisedNumber::Verdict::usable) << c.written;
        EXPECT_EQ(n.number, c.sent) << c.written << " with country " << c.country;
    }
    for (const char *unusable : {"0800-FLOWERS", "#31#030123", "030=1234", "030+1234", "030,1234"})
        EXPECT_EQ(book::normaliseNumber(unusable, {}).verdict, book::NormalisedNumber::Verdict::unusable) << unusable;
    for (const char *empty : {"", " - ", "()"})
        EXPECT_EQ(book::normaliseNumber(empty, {}).verdict, book::NormalisedNumber::Verdict::empty) << empty;
}

TEST(Latin1, ConvertsWhatItCanAndReportsTheRest)
{
    book::Latin1Text umlauts = book::toLatin1("J\303\266rg M\303\274ller \303\237 \303\251");
    EXPECT_EQ(umlauts.text, "J\366rg M\374ller \337 \351");
    EXPECT_TRUE(umlauts.replaced.empty());

    // Letters without a Latin-1 form are written with the nearest Latin-1 letters; what has none is "?".
    struct Case {
        const char *utf8, *latin1, *ascii;
        std::size_t transliterated, replaced;
    };
    const Case cases[] = {
        {"\305\201ukasz", "Lukasz", "Lukasz", 1, 0},
        {"Erd\305\221s", "Erdos", "Erdos", 1, 0},
        {"Dvo\305\231\303\241k", "Dvor\341k", "Dvorak", 1, 0},
        {"5 \342\202\254", "5 EUR", "5 EUR", 1, 0},
        {"J\303\266rg \303\237", "J\366rg \337", "Jorg ss", 0, 0},
        {"Mu\314\210ller", "Muller", "Muller", 1, 0}, // a lone combining mark is dropped
        {"\360\237\230\200 Oma", "? Oma", "? Oma", 0, 1},
    };
    for (const Case &c : cases) {
        book::Latin1Text latin1 = book::toLatin1(c.utf8);
        EXPECT_EQ(latin1.text, c.latin1) << c.utf8;
        EXPECT_EQ(latin1.transliterated.size(), c.transliterated) << c.utf8;
        EXPECT_EQ(latin1.replaced.size(), c.replaced) << c.utf8;
        EXPECT_EQ(book::toAscii(c.utf8).text, c.ascii) << c.utf8;
    }

    // Bytes that are no UTF-8 (a Latin-1 file mislabelled, an overlong form, a cut sequence).
    book::Latin1Text broken = book::toLatin1("M\374ller \300\257 \303");
    EXPECT_EQ(broken.text, "M?ller ?? ?");
    EXPECT_EQ(broken.replaced.size(), 4u);

    book::Latin1Text controls = book::toLatin1("A\tB\nC\302\205D");
    EXPECT_EQ(controls.text, "A B C D");
    EXPECT_EQ(controls.controls, 3);

    EXPECT_EQ(book::latin1ToUtf8("M\374ller\n"), "M\303\274ller\\012");
    EXPECT_TRUE(book::looksLikeUtf8("M\303\274ller"));
    EXPECT_FALSE(book::looksLikeUtf8("M\374ller"));
}

TEST_F(Convert, LongPiecesAreCutSoThatTheProgramKeepsPictureAndInfo)
{
    const std::string number31 = "0" + std::string(30, '7');
    const std::string picture31 = std::string(27, 'p') + ".jpg";
    const std::string info31 = std::string(31, 'i');
    writeBytes(
        folder / "long.xml",
        exportXml(contactXml(std::string(80, 'N'), "<number type=\"label:" + info31 + "\">" + number31 + "</number>",
                             "file:///fonpix/" + picture31)));
    book::Conversion c = book::convertExport(folder / "long.xml", {});
    const std::string &text = c.book.contents;
    auto start = text.find(number31 + " = ");
    ASSERT_NE(start, std::string::npos);
    std::string line = text.substr(start, text.find('\n', start) - start);
    EXPECT_LE(line.size(), book::lineMax);
    EXPECT_TRUE(contains(line, ", " + picture31 + ", " + info31));
    EXPECT_TRUE(warned(c, "contact 1", "to keep the line within the program's limits"));

    // The program reads the line without cutting anything further; only the screen is too narrow for
    // such a name.
    auto output = folder / "addrbook.dat";
    book::saveAtomically(output, text);
    book::CheckReport report = book::checkAddressBook(output);
    EXPECT_FALSE(report.programReportsErrors());
    for (const auto &finding : report.findings)
        if (finding.severity == book::Finding::Severity::warning)
            EXPECT_TRUE(contains(finding.text, "too wide for the screen")) << finding.text;
    EXPECT_EQ(report.count(book::Finding::Severity::warning), 1u);
}

TEST_F(Convert, MoreNumbersThanTheProgramHoldsAreReportedOneByOne)
{
    auto output = folder / "addrbook.dat";
    auto run = runTool({"convert", dataFile("many.xml"), "-o", output.string(), "--own-number", "0305550001",
                        "--own-name", "Zuhause"});
    ASSERT_EQ(run.status, 0) << run.output;
    // The own line and 130 numbers: the last three do not fit the program's 128 entries.
    EXPECT_EQ(entryLines(readBytes(output)), 128u);
    EXPECT_TRUE(contains(run.output, "3 of 131 entries not written")) << run.output;
    for (const char *lost :
         {"\"0305550164\" (\"Sven Dietrich\") not written", "\"01512220064\" (\"Sven Dietrich\") not written",
          "\"01512220063\" (\"Rosa Graf\") not written"})
        EXPECT_TRUE(contains(run.output, lost)) << lost;
    EXPECT_FALSE(contains(readBytes(output), "0305550164"));

    // The program loads all of them without a message.
    book::CheckReport report = book::checkAddressBook(output);
    EXPECT_TRUE(report.programPrints.empty());
    EXPECT_TRUE(contains(report.summary.at(0), "128 entries loaded")) << report.summary.at(0);
}

TEST_F(Convert, AreaCodeGoesInFrontOfLocalNumbersAsTheProgramLooksThemUp)
{
    writeBytes(folder / "local.xml",
               exportXml(contactXml("B\303\244ckerei Kr\303\274mel", "<number type=\"work\">123 45 67</number>")));
    auto output = folder / "addrbook.dat";
    auto run = runTool({"convert", (folder / "local.xml").string(), "-o", output.string(), "--own-number", "555 0001",
                        "--own-name", "Zuhause", "--area-code", "030", "--suppressed-name", "Unbekannt"});
    ASSERT_EQ(run.status, 0) << run.output;
    std::string text = readBytes(output);
    EXPECT_TRUE(contains(text, "\n0305550001 = Zuhause\n= Unbekannt\n0301234567 = B\344ckerei Kr\374mel, , Arbeit\n"))
        << text;
    EXPECT_FALSE(contains(run.output, "no leading 0")) << run.output;
}

TEST_F(Convert, BadInputFailsClearlyAndLeavesTheOldFileAlone)
{
    writeBytes(folder / "html.xml", "<?xml version=\"1.0\"?><html><body/></html>");
    writeBytes(folder / "cp1252.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><phonebooks/>");
    writeBytes(folder / "empty.xml", "");
    struct Case {
        std::string input, message;
    };
    const Case cases[] = {
        {dataFile("malformed.xml"), "malformed XML: Start-end tags mismatch, line 60"},
        {(folder / "missing.xml").string(), "missing.xml: cannot be read"},
        {(folder / "html.xml").string(), "not a phone-book export: the document is <html>"},
        {(folder / "cp1252.xml").string(), "declares the encoding \"windows-1252\""},
        {(folder / "empty.xml").string(), "malformed XML: No document element found"},
        {folder.string(), "is a folder"},
    };
    const std::string old = "0305550001 = Zuhause\n";
    auto output = folder / "addrbook.dat";
    writeBytes(output, old);
    auto before = filesInFolder();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        auto run = runTool({"convert", c.input, "-o", output.string()});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(contains(run.output, c.message)) << run.output;
        EXPECT_EQ(readBytes(output), old);
        EXPECT_EQ(filesInFolder(), before); // no temporary file left behind
    }
}

TEST_F(Convert, UsageErrorsExitWithTwoAndWriteNothing)
{
    auto output = (folder / "addrbook.dat").string();
    const std::string input = dataFile("small.xml");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"convert", input},
        {"convert", input, "-o", output, "--own-number", "5550001"},
        {"convert", input, "-o", output, "--own-name", "Zuhause"},
        {"convert", input, "-o", output, "--own-number", "Zuhause", "--own-name", "Zuhause"},
        {"convert", input, "-o", output, "--country", "+49"},
        {"convert", input, "-o", output, "--area-code", "030-"},
        {"convert", input, "-o", output, "--comma", ","},
        {"translate", input},
    };
    for (const auto &arguments : cases) {
        auto run = runTool(arguments);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

TEST_F(Convert, UnwritableOutputFailsWithoutAFile)
{
    auto output = folder / "no-such-folder" / "addrbook.dat";
    auto run = runTool({"convert", dataFile("small.xml"), "-o", output.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.output, "cannot create a file")) << run.output;
    EXPECT_TRUE(filesInFolder().empty());
}

} // namespace
