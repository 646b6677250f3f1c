// The address book: loading "addrbook.dat" with every result, the split of
// an entry line, the first entry's role, lookups with the area code, and the
// heap it takes and gives back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "store_test.h"

#include "store/addressbook.h"
#include "store/properties.h"
#include "store/text.h"

namespace
{

const char *const bookFile = "addrbook.dat";

std::string repeat(char c, size_t n)
{
    return std::string(n, c);
}

// The first entry is the household's own, looked up but never listed.
const std::string ownEntry = "0309999 = Zuhause\n";

// `count` entry lines with the numbers 1000, 1001, ...
std::string entryLines(int count, int first = 1000)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += std::to_string(first + i) + " = Name " + std::to_string(first + i) + "\n";
    return out;
}

struct Lookup {
    std::string number; // the caller's buffer afterwards
    std::string name;
    std::string picture;
    std::string info;
};

class AddressBook : public store_test::StoreTest
{
  protected:
    // ctest gives every test a fresh process; this keeps a whole-binary run
    // (gtest filters while debugging) from carrying the area code over.
    void SetUp() override
    {
        StoreTest::SetUp();
        setAreaCode("");
    }

    int load(const std::string &contents)
    {
        writeSettingsFile(bookFile, contents);
        return loadAddressBook(bookFile);
    }

    // findName on a 32-byte number buffer, the outputs pre-filled with junk.
    Lookup lookUp(const std::string &number)
    {
        char numberBuffer[32];
        copyText(numberBuffer, number.c_str(), sizeof numberBuffer);
        char name[64], picture[32], info[32];
        std::memset(name, 'N', sizeof name - 1);
        name[63] = '\0';
        std::memset(picture, 'P', sizeof picture - 1);
        picture[31] = '\0';
        std::memset(info, 'I', sizeof info - 1);
        info[31] = '\0';
        char *result = findName(numberBuffer, name, picture, info);
        EXPECT_EQ(result, name);
        return {numberBuffer, name, picture, info};
    }

    // The listed entries, along `next` from getAddressBook.
    std::vector<const AddressEntry *> listed()
    {
        std::vector<const AddressEntry *> out;
        for (const AddressEntry *e = getAddressBook(); e != nullptr && out.size() < 1000; e = e->next)
            out.push_back(e);
        return out;
    }

    void TearDown() override
    {
        unloadAddressBook();
        EXPECT_EQ(liveBlocks(), 0u) << "unloading left heap blocks behind";
        EXPECT_EQ(openFiles(), 0u) << "loading left the file open";
        StoreTest::TearDown();
    }
};

// --- Entry lines ---

TEST_F(AddressBook, ValueSplitsIntoNamePictureAndInfo)
{
    ASSERT_EQ(load(ownEntry + "0301234 = Office, office.jpg, Work, Room 2\n"), ADRBOOK_OK);
    ASSERT_EQ(listed().size(), 1u);
    const AddressEntry *entry = listed()[0];
    EXPECT_EQ(entry->index, 1);
    EXPECT_STREQ(entry->number, "0301234");
    EXPECT_STREQ(entry->name, "Office");
    EXPECT_STREQ(entry->picture, "office.jpg");
    EXPECT_STREQ(entry->info, "Work, Room 2");
}

TEST_F(AddressBook, EmptyPiecesGetTheirDefaults)
{
    ASSERT_EQ(load(ownEntry + "0301234 = Office , ,\n0305555 = Only Name\n"), ADRBOOK_OK);
    ASSERT_EQ(listed().size(), 2u);
    EXPECT_STREQ(listed()[0]->name, "Office ");
    EXPECT_STREQ(listed()[0]->picture, "unknown.jpg");
    EXPECT_STREQ(listed()[0]->info, "");
    EXPECT_STREQ(listed()[1]->name, "Only Name");
    EXPECT_STREQ(listed()[1]->picture, "unknown.jpg");
    EXPECT_STREQ(listed()[1]->info, "");
}

TEST_F(AddressBook, PiecesAreTrimmedAndCutToTheirBuffers)
{
    std::string file = ownEntry + "0301234 = " + repeat('n', 64) + "\n" + "0305555 = N,   " + repeat('p', 35) +
                       "  ,  " + repeat('i', 35) + "  \n" + "0306666 = Name,  pic.jpg  ,  some info  \n";
    ASSERT_EQ(load(file), ADRBOOK_OK);
    ASSERT_EQ(listed().size(), 3u);
    EXPECT_EQ(listed()[0]->name, repeat('n', 63));
    EXPECT_EQ(listed()[1]->picture, repeat('p', 31));
    EXPECT_EQ(listed()[1]->info, repeat('i', 31));
    EXPECT_STREQ(listed()[2]->name, "Name");
    EXPECT_STREQ(listed()[2]->picture, "pic.jpg");
    EXPECT_STREQ(listed()[2]->info, "some info");
}

TEST_F(AddressBook, OverlongValueBecomesAnEntryCut)
{
    // The reader reports the value as too long; the line is still an entry
    // and loading goes on behind it.
    ASSERT_EQ(load(ownEntry + "0301234 = " + repeat('v', 140) + "\n0305555 = After\n"), ADRBOOK_OK);
    ASSERT_EQ(listed().size(), 2u);
    EXPECT_STREQ(listed()[0]->number, "0301234");
    EXPECT_EQ(listed()[0]->name, repeat('v', 63));
    EXPECT_STREQ(listed()[1]->name, "After");
}

// --- The list and its first entry ---

TEST_F(AddressBook, EntriesKeepFileOrderWithBothLinks)
{
    ASSERT_EQ(load("# contacts\n\n" + ownEntry + entryLines(3)), ADRBOOK_OK);
    EXPECT_EQ(getAddressEntries(), 3);
    std::vector<const AddressEntry *> entries = listed();
    ASSERT_EQ(entries.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i]->index, i + 1);
        EXPECT_EQ(entries[i]->number, std::to_string(1000 + i));
    }
    const AddressEntry *first = entries[0]->prev;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->index, 0);
    EXPECT_EQ(first->prev, nullptr);
    EXPECT_STREQ(first->number, "0309999");
    EXPECT_EQ(entries[1]->prev, entries[0]);
    EXPECT_EQ(entries[2]->prev, entries[1]);
    EXPECT_EQ(entries[2]->next, nullptr);
}

TEST_F(AddressBook, SingleEntryIsLookedUpButNotListed)
{
    ASSERT_EQ(load(ownEntry), ADRBOOK_OK);
    EXPECT_EQ(getAddressBook(), nullptr);
    EXPECT_EQ(getAddressEntries(), 0);
    EXPECT_EQ(lookUp("0309999").name, "Zuhause");
}

TEST_F(AddressBook, EmptyFileLoadsAnEmptyBook)
{
    EXPECT_EQ(load("# nothing yet\n"), ADRBOOK_OK);
    EXPECT_EQ(getAddressBook(), nullptr);
    EXPECT_EQ(getAddressEntries(), -1);
    EXPECT_TRUE(prints().empty());
}

TEST_F(AddressBook, DuplicateNumberTheEarlierLineWins)
{
    ASSERT_EQ(load(ownEntry + "0301234 = First\n0301234 = Second\n"), ADRBOOK_OK);
    EXPECT_EQ(getAddressEntries(), 2);
    EXPECT_EQ(lookUp("0301234").name, "First");
}

TEST_F(AddressBook, LoadingAgainReplacesTheBook)
{
    ASSERT_EQ(load(ownEntry + entryLines(5)), ADRBOOK_OK);
    ASSERT_EQ(load(ownEntry + entryLines(2, 2000)), ADRBOOK_OK);
    EXPECT_EQ(getAddressEntries(), 2);
    EXPECT_EQ(listed()[0]->index, 1);
    EXPECT_EQ(lookUp("1000").name, "1000");
    EXPECT_EQ(lookUp("2001").name, "Name 2001");
    EXPECT_EQ(liveBlocks(), 3u);
}

// --- Load results ---

TEST_F(AddressBook, MissingFileFailsToOpenQuietly)
{
    EXPECT_EQ(loadAddressBook("missing.dat"), ADRBOOK_OPEN_FAILED);
    EXPECT_EQ(getAddressEntries(), -1);
    EXPECT_TRUE(prints().empty());
}

TEST_F(AddressBook, HeapTooSmallForTheReaderFailsToOpen)
{
    writeSettingsFile(bookFile, ownEntry);
    heapWithAvailable(1039);
    EXPECT_EQ(loadAddressBook(bookFile), ADRBOOK_OPEN_FAILED);
    EXPECT_EQ(getAddressEntries(), -1);
}

TEST_F(AddressBook, HoldsUpTo128Entries)
{
    ASSERT_EQ(load(ownEntry + entryLines(127)), ADRBOOK_OK);
    EXPECT_EQ(getAddressEntries(), 127);
    EXPECT_EQ(listed().size(), 127u);
    EXPECT_EQ(listed().back()->index, 127);
}

TEST_F(AddressBook, The129thEntryIsTooMany)
{
    EXPECT_EQ(load(ownEntry + entryLines(128)), ADRBOOK_TOO_MANY_ENTRIES);
    EXPECT_EQ(getAddressEntries(), 127);
    EXPECT_EQ(lookUp("1126").name, "Name 1126");
    EXPECT_EQ(lookUp("1127").name, "1127") << "the 129th line must not be held";
    EXPECT_TRUE(prints().empty());
}

TEST_F(AddressBook, LineWithoutEqualsStopsTheLoadAndKeepsTheEntriesBefore)
{
    // Five entries, then a broken line on physical line 9 (comments and
    // blank lines counted), then an entry that is never read.
    std::string file =
        "# book\n" + ownEntry + "1000 = A\n\n1001 = B\n# x\n1002 = C\n1003 = D\nno equals here\n1004 = E\n";
    EXPECT_EQ(load(file), ADRBOOK_FILE_ERROR);
    EXPECT_EQ(getAddressEntries(), 4);
    EXPECT_EQ(prints(), std::vector<std::string>{"Load Adressbook ERROR in line:9\n"});
    EXPECT_EQ(lookUp("1004").name, "1004");
}

TEST_F(AddressBook, OverlongNumberStopsTheLoad)
{
    std::string number = repeat('5', 32);
    EXPECT_EQ(load(ownEntry + "1000 = A\n" + number + " = Too long\n1001 = B\n"), ADRBOOK_FILE_ERROR);
    EXPECT_EQ(getAddressEntries(), 1);
    EXPECT_EQ(prints(), std::vector<std::string>{"Load Adressbook " + repeat('5', 31) + "\n"});
}

TEST_F(AddressBook, EntryAllocationFailureStopsWithTheEntriesBefore)
{
    // Find how many allocations the reader itself makes, then let the
    // fourth entry's allocation fail.
    writeSettingsFile("empty.dat", "");
    ASSERT_EQ(loadAddressBook("empty.dat"), ADRBOOK_OK);
    uint64_t readerAllocations = fw().heap.allocationCount();
    fw().heap.reset(sim::Heap::defaultSize);

    writeSettingsFile(bookFile, ownEntry + entryLines(5));
    fw().heap.failAllocation(readerAllocations + 4);
    EXPECT_EQ(loadAddressBook(bookFile), ADRBOOK_NO_MEMORY);
    EXPECT_EQ(getAddressEntries(), 2);
    EXPECT_EQ(lookUp("1001").name, "Name 1001");
    EXPECT_EQ(lookUp("1002").name, "1002");
    EXPECT_TRUE(prints().empty());
}

TEST_F(AddressBook, HeapIsAskedBeforeEachEntry)
{
    // Measure what the open reader takes, then give the first entry exactly
    // its own size: one byte short of what the book asks for.
    writeSettingsFile(bookFile, ownEntry);
    PropertyFileHandle *reader = openPropertyFile(bookFile);
    ASSERT_NE(reader, nullptr);
    uint32_t readerTakes = sim::Heap::defaultSize - sim::Heap::blockOverhead - available();
    uint64_t readerAllocations = fw().heap.allocationCount();
    closePropertyFile(reader);

    fw().heap.reset(readerTakes + sim::Heap::blockOverhead + sizeof(AddressEntry));
    EXPECT_EQ(loadAddressBook(bookFile), ADRBOOK_NO_MEMORY);
    EXPECT_EQ(fw().heap.allocationCount(), readerAllocations) << "allocated although the heap was short";
    // The heap is replaced below, which only works while nothing is held.
    ASSERT_EQ(getAddressEntries(), -1);

    fw().heap.reset(readerTakes + sim::Heap::blockOverhead + sizeof(AddressEntry) + 1);
    loadAddressBook(bookFile);
    EXPECT_EQ(fw().heap.allocationCount(), readerAllocations + 1) << "with size + 1 bytes the entry is tried";
}

TEST_F(AddressBook, UnloadEmptiesTheBook)
{
    ASSERT_EQ(load(ownEntry + entryLines(20)), ADRBOOK_OK);
    EXPECT_EQ(liveBlocks(), 21u);
    unloadAddressBook();
    EXPECT_EQ(liveBlocks(), 0u);
    EXPECT_EQ(getAddressBook(), nullptr);
    EXPECT_EQ(getAddressEntries(), -1);
    EXPECT_EQ(lookUp("1000").name, "1000");
}

// --- Lookups ---

TEST_F(AddressBook, FoundEntryGivesNamePictureAndInfo)
{
    ASSERT_EQ(load(ownEntry + "0301234 = Office, office.jpg, Work\n"), ADRBOOK_OK);
    Lookup found = lookUp("0301234");
    EXPECT_EQ(found.name, "Office");
    EXPECT_EQ(found.picture, "office.jpg");
    EXPECT_EQ(found.info, "Work");
    EXPECT_EQ(found.number, "0301234");
}

TEST_F(AddressBook, UnknownNumberBecomesTheName)
{
    ASSERT_EQ(load(ownEntry), ADRBOOK_OK);
    Lookup unknown = lookUp("0407777");
    EXPECT_EQ(unknown.name, "0407777");
    EXPECT_EQ(unknown.picture, "unknown.jpg");
    EXPECT_EQ(unknown.info, "");
}

TEST_F(AddressBook, NumbersAreComparedExactly)
{
    ASSERT_EQ(load(ownEntry + "ABC = Letters\n0301234 = Office\n"), ADRBOOK_OK);
    EXPECT_EQ(lookUp("abc").name, "abc");
    EXPECT_EQ(lookUp("030123").name, "030123");
    EXPECT_EQ(lookUp("03012345").name, "03012345");
}

TEST_F(AddressBook, PictureAndInfoOutputsMayBeLeftOut)
{
    ASSERT_EQ(load(ownEntry + "0301234 = Office, office.jpg, Work\n"), ADRBOOK_OK);
    char number[32] = "0301234";
    char name[64];
    EXPECT_STREQ(findName(number, name, nullptr, nullptr), "Office");
    char other[32] = "0401234";
    EXPECT_STREQ(findName(other, name, nullptr, nullptr), "0401234");
}

TEST_F(AddressBook, EmptyNumberMatchesAnEntryWithEmptyNumber)
{
    ASSERT_EQ(load(ownEntry + "1000 = A\n"), ADRBOOK_OK);
    Lookup none = lookUp("");
    EXPECT_EQ(none.name, "");
    EXPECT_EQ(none.picture, "unknown.jpg");

    ASSERT_EQ(load(ownEntry + "= Unbekannt, anonym.jpg\n"), ADRBOOK_OK);
    Lookup suppressed = lookUp("");
    EXPECT_EQ(suppressed.name, "Unbekannt");
    EXPECT_EQ(suppressed.picture, "anonym.jpg");
}

TEST_F(AddressBook, AreaCodeIsPutInFrontOfLocalNumbers)
{
    ASSERT_EQ(load(ownEntry + "0301234 = Office\n"), ADRBOOK_OK);
    setAreaCode("030");
    Lookup local = lookUp("1234");
    EXPECT_EQ(local.number, "0301234");
    EXPECT_EQ(local.name, "Office");
    EXPECT_EQ(lookUp("0891234").number, "0891234");
    EXPECT_EQ(lookUp("").number, "");
    Lookup international = lookUp("+491234");
    EXPECT_EQ(international.number, "030+491234");
    EXPECT_EQ(international.name, "030+491234");
}

TEST_F(AddressBook, LookingUpAgainDoesNotPrefixTwice)
{
    ASSERT_EQ(load(ownEntry), ADRBOOK_OK);
    setAreaCode("030");
    char number[32] = "1234";
    char name[64];
    findName(number, name, nullptr, nullptr);
    findName(number, name, nullptr, nullptr);
    EXPECT_STREQ(number, "0301234");
}

TEST_F(AddressBook, WithoutAreaCodeNumbersStayAsTheyAre)
{
    ASSERT_EQ(load(ownEntry + "1234 = Short\n"), ADRBOOK_OK);
    Lookup local = lookUp("1234");
    EXPECT_EQ(local.number, "1234");
    EXPECT_EQ(local.name, "Short");
}

TEST_F(AddressBook, AreaCodeOnlyWhenTheResultFits31Characters)
{
    ASSERT_EQ(load(ownEntry), ADRBOOK_OK);
    setAreaCode("030");
    EXPECT_EQ(lookUp(repeat('1', 28)).number, "030" + repeat('1', 28));
    // One more would need 32 characters: looked up unchanged, not cut.
    Lookup tooLong = lookUp(repeat('2', 29));
    EXPECT_EQ(tooLong.number, repeat('2', 29));
    EXPECT_EQ(tooLong.name, repeat('2', 29));
}

TEST_F(AddressBook, RouterFieldOf32CharactersIsNeitherPrefixedNorCut)
{
    // The router's fields are 33-byte buffers: a 32-character number must
    // not be written past, and must not match the entry of its first 31.
    ASSERT_EQ(load(ownEntry + repeat('3', 31) + " = Cut Match\n"), ADRBOOK_OK);
    setAreaCode("0");
    char field[33 + 8];
    std::memset(field, '3', 32);
    field[32] = '\0';
    std::memset(field + 33, '#', 8);
    char name[64 + 8];
    std::memset(name + 64, '#', 8);
    char picture[32];
    findName(field, name, picture, nullptr);
    EXPECT_EQ(std::string(field), repeat('3', 32));
    EXPECT_EQ(std::string(field + 33, 8), repeat('#', 8));
    EXPECT_EQ(std::string(name), repeat('3', 32));
    EXPECT_EQ(std::string(name + 64, 8), repeat('#', 8));
    EXPECT_STREQ(picture, "unknown.jpg");
}

TEST_F(AddressBook, AreaCodeIsCutTo31Characters)
{
    ASSERT_EQ(load(ownEntry), ADRBOOK_OK);
    setAreaCode(repeat('0', 40).c_str());
    // A 31-character area code leaves no room for any number.
    EXPECT_EQ(lookUp("1").number, "1");
    setAreaCode(repeat('0', 30).c_str());
    EXPECT_EQ(lookUp("1").number, repeat('0', 30) + "1");
}

} // namespace
