// The phone-book page: layout, selected entry's details and the rows.
#include "book_fixture.h"

#include "store/addressbook.h"
#include "view/fontColor.h"
#include "view/viewBook.h"

namespace test
{
namespace
{

using PhoneBookPage = BookTest;

TEST_F(PhoneBookPage, ThreeEntryFileGivesTwoRowsWithPositionAndCount)
{
    loadBook({"0301111 = Owner, owner.jpg, Home", "0302222 = Anna, anna.jpg, Sister", "0303333 = Bernd"});
    journal().clear();

    setPage(BOOK_PHONEBOOK);

    EXPECT_EQ(prints(), std::vector<std::string>{"Show Book\n"});
    std::vector<std::string> expected{
        "TAP_Osd_Create(0,0,720,576,0,0) = 1",
        "TAP_Hdd_ChangeDir(\"/PhotoFiles/Ringwatcher/\")",
        "TAP_ExitNormal()",
        putGd(64, 40, "_backteladrGd", 0),
        putGd(85, 85, "_symboladrbookGd", 1),
        putGd(72, 48, "_headeradrbookGd", 1),
        putS(80, 50, 192, "Anrufliste", 0, 1, 1),
        putS(200, 50, 306, "Telefonbuch", 0, 1, 1),
        putS(159, 93, 194, "1.", 1, 1, 0),
        putS(389, 93, 454, "1/2", 1, 1, 0),
        putS(198, 93, 364, "Sister", 1, 1, 0),
        putGd(76, 124, "_sbselGd", 1),
        drawJpeg("anna.jpg"),
        putGd(500, 116, "_piccoverGd", 1),
        putS(78, 128, 228, "0302222", 1, 1, 0),
        putS(236, 128, 494, "Anna", 1, 1, 0),
        putS(78, 158, 228, "0303333", 1, 1, 0),
        putS(236, 158, 494, "Bernd", 1, 1, 0),
        "TAP_Osd_Sync()",
    };
    EXPECT_EQ(lastDrawing(), expected);
    EXPECT_EQ(getBookWindowStatus(), BOOK_PHONEBOOK);
}

TEST_F(PhoneBookPage, SecondRowSelectedShowsItsOwnDetailsAndDefaults)
{
    loadBook({"0301111 = Owner, owner.jpg, Home", "0302222 = Anna, anna.jpg, Sister", "0303333 = Bernd"});
    setPage(BOOK_PHONEBOOK);
    bookCursorDown();

    auto drawing = lastDrawing();
    EXPECT_EQ(textAt(drawing, 159, 93), "2.");
    EXPECT_EQ(textAt(drawing, 389, 93), "2/2");
    EXPECT_EQ(textAt(drawing, 198, 93), "");
    EXPECT_TRUE(has(drawing, putGd(76, 154, "_sbselGd", 1)));
    EXPECT_FALSE(has(drawing, putGd(76, 124, "_sbselGd", 1)));
    EXPECT_TRUE(has(drawing, drawJpeg("unknown.jpg")));
}

TEST_F(PhoneBookPage, TextsUseTheConfiguredFontColour)
{
    loadNumberedBook(3);
    fontColor = 0xFF102030;
    setPage(BOOK_PHONEBOOK);

    auto texts = textsOf(lastDrawing());
    ASSERT_EQ(texts.size(), 2u + 3u + 2u * 3u);
    for (const auto &t : texts)
        EXPECT_EQ(t.color, 0xFF102030u) << t.text;
}

TEST_F(PhoneBookPage, EveryDrawingReusesTheRegionAndStartsAndEndsTheSameWay)
{
    loadNumberedBook(4);
    setPage(BOOK_PHONEBOOK);
    bookCursorDown();
    bookCursorDown();

    EXPECT_EQ(drawingCount(), 3u);
    EXPECT_EQ(countPrefix(journal().calls(), "TAP_Osd_Create("), 1u);
    EXPECT_EQ(fw().receiver.exitNormalCalls, 3);
    auto drawing = lastDrawing();
    ASSERT_GE(drawing.size(), 4u);
    EXPECT_EQ(drawing[0], "TAP_Hdd_ChangeDir(\"/PhotoFiles/Ringwatcher/\")");
    EXPECT_EQ(drawing[1], "TAP_ExitNormal()");
    EXPECT_EQ(drawing[2], putGd(64, 40, "_backteladrGd", 0));
    EXPECT_EQ(drawing.back(), "TAP_Osd_Sync()");
    EXPECT_EQ(countPrefix(drawing, "TAP_Osd_Sync"), 1u);
    EXPECT_EQ(fw().osd.regionHandles(), std::vector<int>{1});
}

std::vector<std::string> frameOnly(int region)
{
    return {
        "TAP_Osd_Create(0,0,720,576,0,0) = " + std::to_string(region),
        "TAP_Hdd_ChangeDir(\"/PhotoFiles/Ringwatcher/\")",
        "TAP_ExitNormal()",
        putGd(64, 40, "_backteladrGd", 0, region),
        putGd(85, 85, "_symboladrbookGd", 1, region),
        putGd(72, 48, "_headeradrbookGd", 1, region),
        putS(80, 50, 192, "Anrufliste", 0, 1, 1, region),
        putS(200, 50, 306, "Telefonbuch", 0, 1, 1, region),
        "TAP_Osd_Sync()",
    };
}

TEST_F(PhoneBookPage, EmptyOrSingleEntryBookShowsOnlyTheFrame)
{
    // No address book loaded at all.
    setPage(BOOK_PHONEBOOK);
    EXPECT_EQ(lastDrawing(), frameOnly(1));

    // Navigation on a page without rows is ignored: nothing is drawn.
    bookCursorDown();
    bookCursorUp();
    bookPageDown();
    bookPageUp();
    EXPECT_EQ(drawingCount(), 1u);

    // The file's single entry is never listed.
    hideBook();
    loadBook({"0301111 = Owner"});
    setPage(BOOK_PHONEBOOK);
    // The firmware hands out the freed handle again.
    EXPECT_EQ(lastDrawing(), frameOnly(1));
}

TEST_F(PhoneBookPage, LongBookShowsTwelveRows)
{
    loadNumberedBook(15);
    setPage(BOOK_PHONEBOOK);

    auto drawing = lastDrawing();
    std::vector<std::string> names;
    for (int i = 1; i <= 12; ++i)
        names.push_back(numbered("Name ", i));
    EXPECT_EQ(column(drawing, 236), names);
    EXPECT_EQ(textAt(drawing, 78, 458), "03012");
    EXPECT_EQ(textAt(drawing, 236, 458), "Name 12");
    EXPECT_EQ(textAt(drawing, 389, 93), "1/15");
    EXPECT_EQ(countPrefix(drawing, "TAP_Osd_PutGd(1,76,"), 1u);
}

} // namespace
} // namespace test
