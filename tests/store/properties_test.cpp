// The property-file reader on files of the simulated disk: line ends, block
// boundaries, trimming, cuts, syntax errors with line numbers, and its heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "store_test.h"

#include "store/properties.h"
#include "store/text.h"

namespace
{

using namespace std::string_literals;

struct Property {
    int result;
    std::string name;
    std::string value;
    bool operator==(const Property &) const = default;
};

void PrintTo(const Property &p, std::ostream *os)
{
    *os << "{" << p.result << ", \"" << sim::escapeText(p.name) << "\", \"" << sim::escapeText(p.value) << "\"}";
}

const std::string fileName = "test.ini";

class PropertyReader : public store_test::StoreTest
{
  protected:
    // Every property of the file up to PROP_EOF, then the file is closed.
    std::vector<Property> readAll(const std::string &contents)
    {
        writeSettingsFile(fileName, contents);
        return readFile(fileName);
    }

    std::vector<Property> readFile(const std::string &name)
    {
        std::vector<Property> out;
        PropertyFileHandle *handle = openPropertyFile(name.c_str());
        EXPECT_NE(handle, nullptr);
        if (handle == nullptr)
            return out;
        // A reader that never reports the end must not hang the test.
        for (int guard = 0; guard < 10000; ++guard) {
            char nameBuffer[PROP_NAME_SIZE + 8];
            char valueBuffer[PROP_VALUE_SIZE + 8];
            std::string canary(8, 'Z');
            std::copy(canary.begin(), canary.end(), nameBuffer + PROP_NAME_SIZE);
            std::copy(canary.begin(), canary.end(), valueBuffer + PROP_VALUE_SIZE);
            int result = getNextProperty(nameBuffer, valueBuffer, handle);
            EXPECT_EQ(std::string(nameBuffer + PROP_NAME_SIZE, 8), canary) << "name buffer overrun";
            EXPECT_EQ(std::string(valueBuffer + PROP_VALUE_SIZE, 8), canary) << "value buffer overrun";
            if (result == PROP_EOF)
                break;
            out.push_back({result, nameBuffer, valueBuffer});
        }
        closePropertyFile(handle);
        return out;
    }

    void TearDown() override
    {
        EXPECT_EQ(liveBlocks(), 0u) << "the reader left heap blocks behind";
        EXPECT_EQ(openFiles(), 0u) << "the reader left a file open";
        StoreTest::TearDown();
    }
};

std::string repeat(char c, size_t n)
{
    return std::string(n, c);
}

// --- Lines, trimming and splitting ---

TEST_F(PropertyReader, EmptyFileGivesEofAtOnce)
{
    EXPECT_EQ(readAll(""), std::vector<Property>{});
}

TEST_F(PropertyReader, LastLineWithoutLineEndIsAnOrdinaryLine)
{
    EXPECT_EQ(readAll("a=1\nb=2"), (std::vector<Property>{{PROP_OK, "a", "1"}, {PROP_OK, "b", "2"}}));
}

TEST_F(PropertyReader, NameAndValueAreTrimmed)
{
    EXPECT_EQ(readAll("  Xpos =  30  \n\tYpos\t=\v56\f\n"),
              (std::vector<Property>{{PROP_OK, "Xpos", "30"}, {PROP_OK, "Ypos", "56"}}));
}

TEST_F(PropertyReader, Latin1BytesAreNeverWhiteSpace)
{
    // 0xA0 is the Latin-1 no-break space and 0x85 a C1 control: both stay.
    EXPECT_EQ(readAll("\240Name\205 = \240M\374ller\240\n"),
              (std::vector<Property>{{PROP_OK, "\240Name\205", "\240M\374ller\240"}}));
}

TEST_F(PropertyReader, SplitsAtTheFirstEquals)
{
    EXPECT_EQ(readAll("a=b=c\n=x\nempty =\n"),
              (std::vector<Property>{{PROP_OK, "a", "b=c"}, {PROP_OK, "", "x"}, {PROP_OK, "empty", ""}}));
}

TEST_F(PropertyReader, CommentAndBlankLinesAreSkipped)
{
    EXPECT_EQ(readAll("# comment\n   # comment\n\n \t \na = b # c\n#x=y\n"),
              (std::vector<Property>{{PROP_OK, "a", "b # c"}}));
}

TEST_F(PropertyReader, ZeroByteEndsTheTextOfItsLineOnly)
{
    EXPECT_EQ(readAll("a=1\0junk=2\nb=2\n"s), (std::vector<Property>{{PROP_OK, "a", "1"}, {PROP_OK, "b", "2"}}));
}

// --- Cuts ---

TEST_F(PropertyReader, LongLineIsCutTo160CharactersBeforeSplitting)
{
    // 200 characters: past character 160 come blanks and "ZZZ", which a
    // reader that did not cut the line would put into the value.
    std::string longLine = "k = " + repeat('v', 100) + repeat(' ', 56) + repeat('Z', 40);
    ASSERT_EQ(longLine.size(), 200u);
    EXPECT_EQ(readAll(longLine + "\nnext = 1\n"),
              (std::vector<Property>{{PROP_OK, "k", repeat('v', 100)}, {PROP_OK, "next", "1"}}));
}

TEST_F(PropertyReader, EqualsBeyondCharacter160IsNotSeen)
{
    std::string longLine = repeat('n', 170) + "=value";
    std::vector<Property> got = readAll(longLine + "\nnext = 1\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Property{PROP_SYNTAX_ERROR, "ERROR in line:1", repeat('n', 127)}));
    EXPECT_EQ(got[1], (Property{PROP_OK, "next", "1"}));
}

TEST_F(PropertyReader, NameOf31CharactersFitsAnd32IsCut)
{
    EXPECT_EQ(readAll(repeat('a', 31) + "=1\n" + repeat('b', 32) + "=2\n"),
              (std::vector<Property>{{PROP_OK, repeat('a', 31), "1"}, {PROP_NAME_TOO_LONG, repeat('b', 31), "2"}}));
}

TEST_F(PropertyReader, ValueOf127CharactersFitsAnd128IsCut)
{
    EXPECT_EQ(readAll("a=" + repeat('x', 127) + "\nb=" + repeat('y', 128) + "\n"),
              (std::vector<Property>{{PROP_OK, "a", repeat('x', 127)}, {PROP_VALUE_TOO_LONG, "b", repeat('y', 127)}}));
}

TEST_F(PropertyReader, LineCutComesBeforeTheNameAndValueLimits)
{
    // A name of 32 and a value of 128 need 161 characters: the line is cut
    // to 160 first, so only the name is over-long and the value fits.
    EXPECT_EQ(readAll(repeat('n', 32) + "=" + repeat('v', 128) + "\n"),
              (std::vector<Property>{{PROP_NAME_TOO_LONG, repeat('n', 31), repeat('v', 127)}}));
}

// --- Syntax errors ---

TEST_F(PropertyReader, SyntaxErrorNamesThePhysicalLine)
{
    EXPECT_EQ(readAll("# settings\n\na = 1\n   \nXpos 30\nb = 2\n"),
              (std::vector<Property>{
                  {PROP_OK, "a", "1"}, {PROP_SYNTAX_ERROR, "ERROR in line:5", "Xpos 30"}, {PROP_OK, "b", "2"}}));
}

TEST_F(PropertyReader, SyntaxErrorKeepsLeadingWhiteSpaceAndCutsTheLine)
{
    EXPECT_EQ(readAll("   Xpos 30 \t\n" + repeat('q', 150) + "\n"),
              (std::vector<Property>{{PROP_SYNTAX_ERROR, "ERROR in line:1", "   Xpos 30"},
                                     {PROP_SYNTAX_ERROR, "ERROR in line:2", repeat('q', 127)}}));
}

TEST_F(PropertyReader, LineNumbersStartAgainWithTheNextFile)
{
    writeSettingsFile("first.ini", "a=1\nb=2\nc=3\n");
    writeSettingsFile("second.ini", "\nbroken\n");
    readFile("first.ini");
    EXPECT_EQ(readFile("second.ini"), (std::vector<Property>{{PROP_SYNTAX_ERROR, "ERROR in line:2", "broken"}}));
}

// --- Line ends and blocks ---

class PropertyLineEnds : public PropertyReader, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(PropertyLineEnds, AllReadAlike)
{
    std::string end = GetParam();
    std::string file = "# c" + end + end + "a = 1" + end + "bad" + end + "b = 2" + end;
    EXPECT_EQ(readAll(file),
              (std::vector<Property>{
                  {PROP_OK, "a", "1"}, {PROP_SYNTAX_ERROR, "ERROR in line:4", "bad"}, {PROP_OK, "b", "2"}}));
}

INSTANTIATE_TEST_SUITE_P(Each, PropertyLineEnds, ::testing::Values("\r\n", "\n", "\r"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             return std::string(info.param) == "\r\n" ? "CrLf" : info.param[0] == '\n' ? "Lf" : "Cr";
                         });

TEST_F(PropertyReader, LoneCrEndsALineOnlyWithoutLaterLfInTheBlock)
{
    // An LF later in the block wins: the CR stays inside the line's text.
    EXPECT_EQ(readAll("a=1\rb=2\n"), (std::vector<Property>{{PROP_OK, "a", "1\rb=2"}}));
}

// Comment lines that fill the file up to `length` bytes, each ended by LF.
std::string filler(size_t length)
{
    std::string out;
    while (out.size() < length) {
        size_t line = std::min<size_t>(60, length - out.size());
        if (line == 1)
            out += "\n";
        else
            out += "#" + repeat('-', line - 2) + "\n";
    }
    return out;
}

TEST_F(PropertyReader, CrLfSplitAcrossBlocksCountsAsTwoLineEnds)
{
    // "a = 1" ends with the CR at the block's last byte, its LF opens the
    // next block: an empty line follows, so the error line is one higher.
    std::string head = filler(PROP_BLOCK_SIZE - 6);
    std::string split = head + "a = 1\r\nbad\n";
    ASSERT_EQ(split[PROP_BLOCK_SIZE - 1], '\r');
    std::string kept = "#" + head.substr(2) + "a = 1\r\nbad\n"; // the pair inside one block
    ASSERT_EQ(kept.substr(PROP_BLOCK_SIZE - 2, 2), "\r\n");
    int headLines = static_cast<int>(std::count(head.begin(), head.end(), '\n'));

    std::vector<Property> got = readAll(split);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Property{PROP_OK, "a", "1"}));
    EXPECT_EQ(got[1].name, "ERROR in line:" + std::to_string(headLines + 3));

    writeSettingsFile("kept.ini", kept);
    std::vector<Property> inside = readFile("kept.ini");
    ASSERT_EQ(inside.size(), 2u);
    EXPECT_EQ(inside[1].name, "ERROR in line:" + std::to_string(headLines + 2));
}

TEST_F(PropertyReader, LineCrossingTheBlockBoundaryIsReadWhole)
{
    std::string file = filler(PROP_BLOCK_SIZE - 20) + "crossing = " + repeat('x', 60) + "\nafter = 2\n";
    EXPECT_EQ(readAll(file), (std::vector<Property>{{PROP_OK, "crossing", repeat('x', 60)}, {PROP_OK, "after", "2"}}));
}

TEST_F(PropertyReader, OverlongLineOverSeveralBlocksIsConsumedWhole)
{
    std::string file = "k = v" + repeat('w', 2 * PROP_BLOCK_SIZE + 300) + "\nbad\n";
    EXPECT_EQ(readAll(file), (std::vector<Property>{{PROP_VALUE_TOO_LONG, "k", "v" + repeat('w', 126)},
                                                    {PROP_SYNTAX_ERROR, "ERROR in line:2", "bad"}}));
}

TEST_F(PropertyReader, FileOfExactlyOneBlockEndsCleanly)
{
    std::string file = filler(PROP_BLOCK_SIZE - 6) + "a = 1\n";
    ASSERT_EQ(file.size(), static_cast<size_t>(PROP_BLOCK_SIZE));
    EXPECT_EQ(readAll(file), (std::vector<Property>{{PROP_OK, "a", "1"}}));
}

// --- The lower layers ---

TEST_F(PropertyReader, GetLineCutsToTheBufferAndEndsWithMinusOne)
{
    writeSettingsFile(fileName, "abcdef\n\nx");
    PropertyFileHandle *handle = openPropertyFile(fileName.c_str());
    ASSERT_NE(handle, nullptr);
    char buffer[8] = "zzzzzzz";
    EXPECT_EQ(getLine(buffer, 4, handle), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'z') << "getLine wrote past its size";
    EXPECT_EQ(getLine(buffer, 4, handle), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(getLine(buffer, 4, handle), 1);
    EXPECT_STREQ(buffer, "x");
    EXPECT_EQ(getLine(buffer, 4, handle), -1);
    EXPECT_EQ(getLine(buffer, 4, handle), -1);
    closePropertyFile(handle);
}

TEST_F(PropertyReader, TrimCutsTrailingWhiteSpaceInPlace)
{
    char text[] = " \t a b \r\n";
    char *start = trim(text);
    EXPECT_STREQ(start, "a b");
    EXPECT_STREQ(text, " \t a b");
    char blank[] = " \t\r\n\v\f";
    EXPECT_STREQ(trim(blank), "");
}

TEST_F(PropertyReader, CopyTextNeverWritesPastItsSize)
{
    char buffer[6] = "#####";
    copyText(buffer, "abcdefgh", 4);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], '#');
    copyText(buffer, "ignored", 0);
    EXPECT_STREQ(buffer, "abc");
}

// --- Opening and the heap ---

TEST_F(PropertyReader, MissingFileGivesNoneAndHoldsNothing)
{
    EXPECT_EQ(openPropertyFile("missing.ini"), nullptr);
    EXPECT_TRUE(prints().empty());
}

TEST_F(PropertyReader, NothingIsReadBeforeTheFirstProperty)
{
    writeSettingsFile(fileName, "a=1\n");
    PropertyFileHandle *handle = openPropertyFile(fileName.c_str());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->position, 0);
    EXPECT_EQ(handle->filled, 0);
    EXPECT_EQ(fw().heap.liveBlocks(), 2u);
    closePropertyFile(handle);
}

TEST_F(PropertyReader, RefusedBelow1040BytesOfAvailableHeap)
{
    writeSettingsFile(fileName, "a=1\n");
    heapWithAvailable(1039);
    EXPECT_EQ(openPropertyFile(fileName.c_str()), nullptr);
    EXPECT_EQ(fw().heap.allocationCount(), 0u) << "the heap must be asked before allocating";
    EXPECT_EQ(journal().calls(), std::vector<std::string>{});
}

TEST_F(PropertyReader, TriesWith1040BytesOfAvailableHeap)
{
    writeSettingsFile(fileName, "a=1\n");
    heapWithAvailable(1040);
    PropertyFileHandle *handle = openPropertyFile(fileName.c_str());
    EXPECT_GT(fw().heap.allocationCount(), 0u);
    closePropertyFile(handle); // the simulated heap's overhead may make it fail; either way nothing stays
}

TEST_F(PropertyReader, FailedAllocationsLeaveNothingBehind)
{
    writeSettingsFile(fileName, "a=1\n");
    for (uint64_t failing = 1; failing <= 2; ++failing) {
        fw().heap.reset(sim::Heap::defaultSize);
        fw().heap.failAllocation(failing);
        EXPECT_EQ(openPropertyFile(fileName.c_str()), nullptr) << "allocation " << failing << " failed";
        EXPECT_EQ(liveBlocks(), 0u);
        EXPECT_EQ(openFiles(), 0u);
    }
}

} // namespace
