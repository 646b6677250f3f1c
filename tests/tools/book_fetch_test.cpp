// ringwatcher-book fetch against the fake TR-064 service on loopback: a whole run onto a disk, the
// choice of phone book, HTTPS with a pinned certificate, and every way the router can let it down.
#include "book_test.h"

#include "fakeTr064.h"
#include "router/fetch.h"

#include <cstdlib>
#include <stdexcept>

namespace
{

using booktest::dataFile;
using booktest::readBytes;
using booktest::runTool;
namespace fs = std::filesystem;

constexpr const char *bookFile = "ProgramFiles/Settings/Ringwatcher/addrbook.dat";
constexpr const char *settingsFile = "ProgramFiles/Settings/Ringwatcher/ringwatcher.ini";

faketr064::Setup routerSetup()
{
    faketr064::Setup setup;
    setup.phoneBooks = {{0, "Telefonbuch", readBytes(dataFile("router/Telefonbuch.xml"))},
                        {1, "Arbeit", readBytes(dataFile("router/Arbeit.xml"))}};
    setup.files["/var/media/ftp/FRITZ/fonpix/1.jpg"] = readBytes(dataFile("router/fonpix/1.jpg"));
    setup.files["/var/media/ftp/FRITZ/fonpix/2.png"] = readBytes(dataFile("router/fonpix/2.png"));
    setup.numbers = {{"5550001", "eVoIP", "Zuhause"}, {"5550002", "eVoIP", ""}};
    return setup;
}

class FetchTest : public booktest::ToolTest
{
  protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        setenv("RINGWATCHER_ROUTER_PASSWORD", "geheim", 1);
    }

    booktest::Run fetch(const faketr064::Service &router, std::vector<std::string> more = {})
    {
        std::vector<std::string> arguments = {"fetch",
                                              "--router",
                                              "127.0.0.1",
                                              "--port",
                                              std::to_string(router.port()),
                                              "--user",
                                              "ringwatcher",
                                              "--disk",
                                              (folder / "disk").string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return runTool(arguments);
    }

    std::string disk(const std::string &file) const { return readBytes(folder / "disk" / file); }
};

TEST_F(FetchTest, WholeRunWritesBookPicturesAndSettingsAndNoPassword)
{
    faketr064::Service router(routerSetup());
    fs::create_directories(folder / "disk/ProgramFiles/Settings/Ringwatcher");
    booktest::writeBytes(folder / "disk" / settingsFile,
                         "# mine\r\nXpos = 40\r\nMSN = 999\r\n# AreaCode = 089 stays a comment\r\n");

    auto run = fetch(router, {"--settings"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("own numbers: 5550001 (Zuhause), 5550002; area code 030"), std::string::npos)
        << run.output;
    // The own number first, numbers as the router sends them, the router's pictures made small.
    std::string book = disk(bookFile);
    for (const char *line :
         {"0305550001 = Zuhause\n", "0301234567 = Anna M\374ller, 1.jpg, Privat\n",
          "01712345678 = Anna M\374ller, 1.jpg, Handy\n", "0307654321 = Pizzeria Da Marco, 2.jpg, Arbeit\n",
          "017699887766 = Bernd Bild-fehlt, , Handy\n"})
        EXPECT_NE(book.find(line), std::string::npos) << line << " in\n" << book;
    for (const char *picture : {"1.jpg", "2.jpg", "unknown.jpg"})
        EXPECT_TRUE(fs::exists(folder / "disk/PhotoFiles/Ringwatcher" / picture)) << picture;
    EXPECT_NE(run.output.find("Bernd Bild-fehlt: the router does not hand out its picture 3.jpg (HTTP 404)"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(disk(settingsFile),
              "# mine\r\nXpos = 40\r\nMSN = 5550001,5550002\r\n# AreaCode = 089 stays a comment\r\nAreaCode = 030\n");
    // Pictures come from the router's own address with the phone book's session, whatever name it used.
    auto requests = router.requests();
    for (const char *target : {"GET /download.lua?path=/var/media/ftp/FRITZ/fonpix/1.jpg&sid=4f1c2b3a5d6e7f80",
                               "GET /download.lua?path=/var/media/ftp/FRITZ/fonpix/2.png&sid=4f1c2b3a5d6e7f80",
                               "GET /phonebook.lua?sid=4f1c2b3a5d6e7f80&pbid=0"})
        EXPECT_NE(std::find(requests.begin(), requests.end(), target), requests.end()) << target;
    for (const auto &file : fs::recursive_directory_iterator(folder))
        if (file.is_regular_file())
            EXPECT_EQ(readBytes(file.path()).find("geheim"), std::string::npos) << file.path();
}

TEST_F(FetchTest, PhoneBookChosenByNameOrIdAndListed)
{
    faketr064::Service router(routerSetup());
    for (const char *which : {"Arbeit", "1"}) {
        auto run = fetch(router, {"--phonebook", which});
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_NE(disk(bookFile).find("040555123 = B\374ro Empfang, , Arbeit\n"), std::string::npos) << which;
    }
    auto unknown = fetch(router, {"--phonebook", "Familie"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("no phone book \"Familie\"; it has 0 \"Telefonbuch\", 1 \"Arbeit\""),
              std::string::npos)
        << unknown.output;
    auto list = fetch(router, {"--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("phone book 0: Telefonbuch\nphone book 1: Arbeit\n"), std::string::npos) << list.output;
}

struct Failure {
    const char *name;
    void (*spoil)(faketr064::Setup &);
    std::vector<std::string> arguments;
    int status;
    const char *message;
};

TEST_F(FetchTest, WhatOwnersMeetIsSaidPlainlyAndLeavesTheDiskAlone)
{
    const std::vector<Failure> failures = {
        {"wrong password",
         [](faketr064::Setup &s) { s.password = "anders"; },
         {},
         1,
         "the router refuses user \"ringwatcher\" with this password"},
        {"no telephony right",
         [](faketr064::Setup &s) { s.telephonyRight = false; },
         {},
         1,
         "may not use GetPhonebookList: give the user the right for telephony"},
        {"SOAP fault",
         [](faketr064::Setup &s) { s.faults["GetPhonebook"] = 820; },
         {},
         1,
         "the router refuses GetPhonebook: error 820"},
        {"malformed XML",
         [](faketr064::Setup &s) { s.malformed = true; },
         {},
         1,
         "the router's answer to GetPhonebookList is no readable XML"},
        {"slow service",
         [](faketr064::Setup &s) { s.delay = std::chrono::milliseconds(2500); },
         {"--timeout", "1"},
         1,
         "gave no answer within 1 seconds"},
        {"no phone book", [](faketr064::Setup &s) { s.phoneBooks.clear(); }, {}, 1, "the router has no phone book"},
        {"HTTP on the HTTPS port", [](faketr064::Setup &) {}, {"--https", "--insecure"}, 1, "does not speak HTTPS"},
    };
    fs::create_directories(folder / "disk/ProgramFiles/Settings/Ringwatcher");
    booktest::writeBytes(folder / "disk" / bookFile, "- = Platzhalter\n");
    for (const Failure &f : failures) {
        faketr064::Setup setup = routerSetup();
        f.spoil(setup);
        faketr064::Service router(setup);
        auto run = fetch(router, f.arguments);
        EXPECT_EQ(run.status, f.status) << f.name << ": " << run.output;
        EXPECT_NE(run.output.find(f.message), std::string::npos) << f.name << ": " << run.output;
        EXPECT_EQ(disk(bookFile), "- = Platzhalter\n") << f.name;
    }
    int deadPort = 0;
    {
        faketr064::Service gone(routerSetup());
        deadPort = gone.port();
    }
    auto dead = runTool({"fetch", "--router", "127.0.0.1", "--port", std::to_string(deadPort), "--user", "u", "--disk",
                         (folder / "disk").string()});
    EXPECT_EQ(dead.status, 1);
    EXPECT_NE(dead.output.find("does not answer: is it the router, and is \"Zugriff f\303\274r Anwendungen zulassen\""),
              std::string::npos)
        << dead.output;
}

TEST_F(FetchTest, WithoutOwnNumbersOrContactsTheBookStillComes)
{
    faketr064::Setup setup = routerSetup();
    setup.faults["X_AVM-DE_GetNumbers"] = 606;
    setup.phoneBooks[0].xml = "<?xml version=\"1.0\"?><phonebooks><phonebook name=\"Telefonbuch\"/></phonebooks>";
    faketr064::Service router(setup);
    auto run = fetch(router);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("warning: own numbers: the router user \"ringwatcher\" may not use X_AVM-DE_GetNumbers"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("warning: the phone book \"Telefonbuch\" on the router is empty"), std::string::npos)
        << run.output;
    EXPECT_EQ(disk(bookFile).find("- = Platzhalter\n") == std::string::npos, false) << disk(bookFile);
}

TEST_F(FetchTest, HttpsPinsTheCertificatePrintedOnFirstContact)
{
    faketr064::Setup setup = routerSetup();
    setup.certificateFile = dataFile("router/router-cert.pem");
    setup.keyFile = dataFile("router/router-key.pem");
    faketr064::Service router(setup);

    auto first = fetch(router, {"--https"});
    EXPECT_EQ(first.status, 2) << first.output;
    auto at = first.output.find("--fingerprint sha256//");
    ASSERT_NE(at, std::string::npos) << first.output;
    std::string fingerprint = first.output.substr(at + 14, first.output.find('\n', at) - at - 14);
    EXPECT_FALSE(fs::exists(folder / "disk" / bookFile));

    auto pinned = fetch(router, {"--https", "--fingerprint", fingerprint});
    EXPECT_EQ(pinned.status, 0) << pinned.output;
    EXPECT_NE(disk(bookFile).find("0301234567 = Anna M\374ller"), std::string::npos);

    auto other = fetch(router, {"--https", "--fingerprint", "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.output.find("the certificate is not the one whose fingerprint --fingerprint gives"),
              std::string::npos)
        << other.output;
    EXPECT_EQ(fetch(router, {"--https", "--insecure"}).status, 0);
}

TEST(FetchParts, SettingsAndNumberListsAreReadAsTheRouterWritesThem)
{
    struct Case {
        std::string before, after;
    } cases[] = {
        {"", "MSN = 1\nAreaCode = 030\n"},
        {"Xpos = 3", "Xpos = 3\nMSN = 1\nAreaCode = 030\n"},
        {"  MSN=old\nAreaCode  = 040\n", "  MSN= 1\nAreaCode  = 030\n"},
        {"MSNs = 2\n#MSN = 3\n", "MSNs = 2\n#MSN = 3\nMSN = 1\nAreaCode = 030\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(book::withSettings(c.before, {{"MSN", "1"}, {"AreaCode", "030"}}), c.after) << c.before;

    auto numbers = book::parseNumberList("<List><Item><Number>5550001</Number><Name>Zuhause</Name></Item>"
                                         "<Item><Number></Number></Item><Item><Number>0301</Number></Item></List>");
    EXPECT_EQ(numbers.numbers, (std::vector<std::string>{"5550001", "0301"}));
    EXPECT_EQ(numbers.names, (std::vector<std::string>{"Zuhause", ""}));
    EXPECT_THROW(book::parseNumberList("<List><Item>"), book::InputError);
    EXPECT_EQ(book::pathOf("http://fritz.box:49000/phonebook.lua?sid=1"), "/phonebook.lua?sid=1");
    EXPECT_EQ(book::pathOf("/download.lua?path=/x.jpg"), "/download.lua?path=/x.jpg");
}

} // namespace
