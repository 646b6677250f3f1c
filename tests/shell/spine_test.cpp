// The program file loaded as the receiver loads it: start-up, event
// dispatch, the status window's timeout, the forced exit and tear-down.
#include <algorithm>

#include "firmware_fixture.h"

namespace
{

class SpineTest : public test::FirmwareTest
{
  protected:
    sim::Receiver &start() { return startProgramFile(RW_TAP_FILE); }
    bool printed(const std::string &line) { return journal().hasPrint(line); }
    bool called(const std::string &call)
    {
        auto calls = journal().calls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
};

TEST_F(SpineTest, LoaderAcceptsTheProgramFile)
{
    std::string error;
    EXPECT_TRUE(sim::checkTapHeader(RW_TAP_FILE, &error)) << error;
}

TEST_F(SpineTest, StartsWithoutFilesAndStaysResident)
{
    sim::Receiver &r = start();
    EXPECT_TRUE(r.resident());
    auto p = prints();
    ASSERT_GE(p.size(), 3u);
    EXPECT_EQ(p[0], "Starting Ringwatcher 1.2\n");
    EXPECT_EQ(p[1], "ERROR: Failed to open settings file\n");
    EXPECT_EQ(p[2], "Failed to open address book file\n");
    EXPECT_TRUE(called("TAP_Hdd_ChangeDir(\"/ProgramFiles/Settings/Ringwatcher\")"));
    // Both messages went to the one window; the address book's is the last.
    EXPECT_TRUE(called("TAP_Osd_PutGd(1,39,105,_errorloadiniGd,0)"));
    EXPECT_EQ(journal().calls().rbegin()[1], "TAP_Osd_PutGd(1,39,105,_errorloadadrbookGd,0)");
    EXPECT_EQ(fw().osd.regionCount(), 1u);
    r.stop();
    EXPECT_TRUE(leaks().empty());
}

TEST_F(SpineTest, StartsQuietlyWithGoodFiles)
{
    writeSettings("Xpos = 40\n");
    writeAddressBook("5550001 = Zuhause\n");
    sim::Receiver &r = start();
    EXPECT_EQ(prints(), std::vector<std::string>{"Starting Ringwatcher 1.2\n"});
    EXPECT_EQ(fw().osd.regionCount(), 0u);
    r.stop();
    EXPECT_EQ(prints().back(), "TAP STOPPED!!\n");
    EXPECT_TRUE(leaks().empty());
}

TEST_F(SpineTest, DispatchResults)
{
    writeSettings("");
    writeAddressBook("");
    sim::Receiver &r = start();
    EXPECT_EQ(r.event(0x0200, 77), 77u);
    EXPECT_EQ(r.idle(), 0u);
    EXPECT_EQ(r.event(EVT_IDLE, 5), 5u);
    // A key the program has no use for goes back to the firmware.
    EXPECT_EQ(r.key(0x10001), 0x10001u);
    // Only the low 16 bits of the event count.
    EXPECT_EQ(r.event(0x12340200, 9), 9u);
    EXPECT_EQ(r.event(0xFFFF0900, 42), 42u);
    EXPECT_EQ(prints().back(), "TAP STOPPED!!\n");
    EXPECT_TRUE(leaks().empty());
}

TEST_F(SpineTest, StopWithNothingShownOnlyEmptiesTheLists)
{
    writeSettings("");
    writeAddressBook("");
    sim::Receiver &r = start();
    journal().clear();
    EXPECT_EQ(r.event(EVT_STOP, 3), 3u);
    EXPECT_EQ(prints(), std::vector<std::string>{"TAP STOPPED!!\n"});
    EXPECT_TRUE(journal().calls().empty());
}

TEST_F(SpineTest, WindowGoesWhenTheTimeoutTickIsReached)
{
    writeSettings("");
    sim::Receiver &r = start(); // address book message, timeout at tick 600
    r.run(599);
    EXPECT_EQ(fw().osd.regionCount(), 1u);
    r.run(1);
    EXPECT_EQ(fw().clock.tick(), 600u);
    EXPECT_EQ(fw().osd.regionCount(), 0u);
    EXPECT_TRUE(printed("EVT_IDLE release rgn-handle: 1\n"));
    EXPECT_TRUE(r.resident());
    r.stop();
    EXPECT_TRUE(leaks().empty());
}

TEST_F(SpineTest, TimeoutHoldsAcrossTheWrap)
{
    fw().clock.startVirtual(0xFFFFFF00u, sim::defaultWallStart);
    writeSettings("");
    sim::Receiver &r = start(); // timeout 0xFFFFFF00 + 600 wraps to 0x158
    r.run(10);
    EXPECT_EQ(fw().osd.regionCount(), 1u) << "the wrapped timeout is still ahead";
    r.run(590);
    EXPECT_EQ(fw().osd.regionCount(), 0u);
    r.stop();
}

TEST_F(SpineTest, WindowWithoutTimeoutStaysUntilDismissed)
{
    writeSettings("DisplayDelay = 0\nStartupConnectDelay = -1\n");
    sim::Receiver &r = start();
    r.run(100000);
    EXPECT_EQ(fw().osd.regionCount(), 1u);
    EXPECT_EQ(r.key(0x10017), 0u);
    EXPECT_EQ(fw().osd.regionCount(), 0u);
    EXPECT_EQ(r.key(0x10017), 0x10017u);
    r.stop();
    EXPECT_TRUE(leaks().empty());
}

TEST_F(SpineTest, UnresolvableRouterEndsTheProgramAfterItsMessage)
{
    writeSettings("StartupConnectDelay = 6\n");
    writeAddressBook("");
    sim::network().faults.resolveFails = true;
    sim::Receiver &r = start();
    r.run(601);
    EXPECT_TRUE(printed("ERROR cannot resolve IP address of Fritz Box\n"));
    EXPECT_TRUE(called("TAP_Osd_PutS(1,79,107,579,\"Kann IP Adresse von Fritz Box nicht aufl\\366sen\","
                       "0xFFFFFFFF,0x00000000,0,1,0,0)"));
    r.run(499); // the message came at tick 601 and stays 500 ticks
    EXPECT_TRUE(r.resident());
    r.run(1);
    EXPECT_FALSE(r.resident());
    EXPECT_TRUE(called("TAP_Exit()"));
    EXPECT_EQ(prints().back(), "TAP STOPPED!!\n");
    EXPECT_TRUE(leaks().empty());
}

TEST_F(SpineTest, AProgramLoadedAfterOneThatEndedItselfRuns)
{
    writeSettings("StartupConnectDelay = 6\n");
    writeAddressBook("");
    sim::network().faults.resolveFails = true;
    start().run(1200);
    ASSERT_FALSE(receiver().resident());
    sim::network().faults.resolveFails = false;
    sim::Receiver &again = start();
    again.run(10);
    EXPECT_TRUE(again.resident());
    again.stop();
}

TEST_F(SpineTest, DismissingTheFinalMessageDoesNotEndTheProgram)
{
    writeSettings("StartupConnectDelay = 6\n");
    writeAddressBook("");
    sim::network().faults.resolveFails = true;
    sim::Receiver &r = start();
    r.run(601);
    EXPECT_EQ(r.key(0x10017), 0u);
    r.run(550); // past the dismissed message's timeout
    EXPECT_TRUE(r.resident());
    // The next due attempt shows the message again, and its timeout ends it.
    r.run(1100);
    EXPECT_FALSE(r.resident());
    EXPECT_TRUE(leaks().empty());
}

// Each result of loading the address book at start-up, with its debug line
// and the message left on screen.
class StartupAddressBookTest : public SpineTest
{
  protected:
    void expectReported(const std::string &printLine, const std::string &image, const std::string &text)
    {
        sim::Receiver &r = start();
        EXPECT_TRUE(r.resident());
        EXPECT_TRUE(printed(printLine)) << printLine;
        auto calls = journal().calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls.rbegin()[1], "TAP_Osd_PutGd(1,39,105," + image + ",0)");
        EXPECT_TRUE(
            called("TAP_Osd_PutS(1,79,107,579,\"" + sim::escapeText(text) + "\",0xFFFFFFFF,0x00000000,0,1,0,0)"));
        r.stop();
        EXPECT_TRUE(leaks().empty());
    }
};

TEST_F(StartupAddressBookTest, TooManyEntries)
{
    writeSettings("");
    std::string book;
    for (int i = 0; i < 129; ++i)
        book += "0301000" + std::to_string(100 + i) + " = Name " + std::to_string(i) + "\n";
    writeAddressBook(book);
    expectReported("To many entries in address book", "_errorentriesadrbookGd", "Zu viele Eintr\344ge im Adressbuch");
}

TEST_F(StartupAddressBookTest, LineWithoutEqualsSign)
{
    writeSettings("");
    writeAddressBook("0301 = Anna\nno equals sign here\n0302 = Bernd\n");
    expectReported("Error in Addressbook file\n", "_errorinadrbookGd", "Fehler im Adressbuch");
    EXPECT_TRUE(printed("Load Adressbook ERROR in line:2\n"));
}

TEST_F(StartupAddressBookTest, TooLittleHeapForTheNextEntry)
{
    writeSettings("");
    writeAddressBook("0301 = Anna\n0302 = Bernd\n0303 = Clara\n");
    // Settings reader 1 and 2, address book reader 3 and 4, first entry 5:
    // the second entry finds no room.
    fw().heap.failAllocation(6);
    expectReported("Not enough memory available for address book\n", "_errormemoryGd",
                   "Nicht genug Speicher f\374r alle Adressbucheintr\344ge verf\374gbar");
}

TEST_F(StartupAddressBookTest, MissingFile)
{
    writeSettings("");
    expectReported("Failed to open address book file\n", "_errorloadadrbookGd",
                   "Fehler beim \326ffnen des Adressbuches");
}

} // namespace
