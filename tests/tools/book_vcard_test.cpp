// Contacts from phones: the vCard exports of Android (2.1), iPhone (3.0) and web address books (4.0)
// read in-process, and `convert` on a vCard file as an owner runs it.
#include "book_test.h"

#include "import/phoneBook.h"

namespace
{

using booktest::dataFile;
using booktest::readBytes;
using booktest::runTool;

struct Expected {
    std::string name;
    std::vector<std::pair<std::string, std::string>> numbers; // text, type
    std::string photoFile;                                    // test data the photo equals; empty: none
};

std::string pictureBytes(const std::string &file)
{
    return file.empty() ? "" : readBytes(dataFile("pictures/" + file));
}

TEST(VCard, EachVersionsSpellingGivesNamesNumbersTypesAndPhotos)
{
    const std::vector<std::pair<std::string, std::vector<Expected>>> files = {
        {"android.vcf",
         {{"J\303\266rg M\303\274ller vom Sportverein Gr\303\274n-Wei\303\237",
           {{"+49 171 2345678", "mobile"}, {"030/1234567", "home"}, {"0049 30 7654321", "fax_work"}},
           "photo.jpg"},
          {"Ute Stra\303\237er", {{"0176 99887766", ""}}, ""}}},
        {"iphone.vcf",
         {{"Pizzeria Da Marco, Lieferdienst",
           {{"089 555 0101", "label:Ferienhaus"}, {"0160 5550102", "mobile"}},
           "logo.png"},
          {"Nur E-Mail", {}, ""}}},
        {"web.vcf",
         {{"\305\201ukasz Wi\305\233niewski", {{"+49-40-555123", "work"}, {"+48 22 1234567", "home"}}, "logo.png"}}},
    };
    for (const auto &[file, expected] : files) {
        book::PhoneBook read = book::readContacts(dataFile("vcard/" + file));
        ASSERT_EQ(read.contacts.size(), expected.size()) << file;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const book::Contact &c = read.contacts[i];
            EXPECT_EQ(c.name, expected[i].name) << file;
            std::vector<std::pair<std::string, std::string>> numbers;
            for (const auto &n : c.numbers)
                numbers.emplace_back(n.text, n.type);
            EXPECT_EQ(numbers, expected[i].numbers) << file << " " << c.name;
            EXPECT_TRUE(c.photo == pictureBytes(expected[i].photoFile)) << file << " " << c.name;
        }
    }
}

TEST(VCard, BrokenCardsAreRefusedAndLinkedPhotosReported)
{
    for (const char *broken : {"BEGIN:VCARD\nFN:Anna\nTEL:030 1\n", "BEGIN:VCARD\nFN:A\nBEGIN:VCARD\nEND:VCARD\n",
                               "BEGIN:VCARD\nFN:A\nEND:VCARD\nFN:B\n"})
        EXPECT_THROW(book::parseVCards(broken, "x.vcf"), book::InputError) << broken;
    auto read =
        book::parseVCards("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nPHOTO;VALUE=uri:https://example.org/a.jpg\r\n"
                          "PHOTO;ENCODING=b;TYPE=JPEG:!!!!\r\nEND:VCARD\r\n",
                          "x.vcf");
    ASSERT_EQ(read.warnings.size(), 2u);
    EXPECT_EQ(read.warnings[0], "contact 1 \"Anna\": the photo is a link (https://example.org/a.jpg), not a picture "
                                "in the card; left out");
    EXPECT_NE(read.warnings[1].find("cannot be decoded"), std::string::npos);
    EXPECT_TRUE(read.contacts[0].photo.empty());
    EXPECT_TRUE(book::looksLikeVCard("\357\273\277\r\nbegin:vcard\r\n"));
    EXPECT_FALSE(book::looksLikeVCard("<?xml version=\"1.0\"?><phonebooks/>"));
}

class VCardTool : public booktest::ToolTest
{
};

TEST_F(VCardTool, ConvertMakesTheBookAndThePhotosIntoPictures)
{
    std::string all;
    for (const char *file : {"android.vcf", "iphone.vcf", "web.vcf"})
        all += readBytes(dataFile(std::string("vcard/") + file));
    booktest::writeBytes(folder / "contacts.vcf", all);

    auto run = runTool({"convert", (folder / "contacts.vcf").string(), "--disk", (folder / "disk").string()});
    ASSERT_EQ(run.status, 0) << run.output;
    std::string book = readBytes(folder / "disk/ProgramFiles/Settings/Ringwatcher/addrbook.dat");
    for (const char *line : {"01712345678 = J\366rg M\374ller vom Sportverein Gr\374n-Wei\337, contact-1.jpg, Handy\n",
                             "0307654321 = J\366rg M\374ller vom Sportverein Gr\374n-Wei\337, contact-1.jpg, Fax\n",
                             "017699887766 = Ute Stra\337er\n",
                             "0895550101 = Pizzeria Da Marco; Lieferdienst, contact-3.jpg, Ferienhaus\n",
                             "040555123 = Lukasz Wisniewski, contact-5.jpg, Arbeit\n"})
        EXPECT_NE(book.find(line), std::string::npos) << line << " in\n" << book;
    for (const char *picture : {"contact-1.jpg", "contact-3.jpg", "contact-5.jpg"})
        EXPECT_TRUE(std::filesystem::exists(folder / "disk/PhotoFiles/Ringwatcher" / picture)) << picture;
    EXPECT_NE(run.output.find("contact 4 \"Nur E-Mail\": no telephone number: not written"), std::string::npos);

    auto bookOnly = runTool({"convert", (folder / "contacts.vcf").string(), "-o", (folder / "a.dat").string()});
    EXPECT_EQ(bookOnly.status, 0);
    EXPECT_NE(bookOnly.output.find("3 photo(s) in the contacts left out: with --disk"), std::string::npos)
        << bookOnly.output;
}

} // namespace
