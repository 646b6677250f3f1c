// ringwatcher-book pictures and check --disk: small pictures of our own making (four coloured
// quadrants tell orientation and cropping apart) through the tool, the address book it updates, and
// what the disk check says about pictures the receiver would stumble over.
#include "book_test.h"

#include <algorithm>

#include "check/check.h"
#include "check/receiverDisk.h"
#include "check/simReceiver.h"
#include "pictures/picture.h"
#include "pictures/pictureMaker.h"

namespace
{

namespace fs = std::filesystem;
using booktest::readBytes;
using booktest::runTool;
using booktest::writeBytes;

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string pictureData(const std::string &name)
{
    return booktest::dataFile("pictures/" + name);
}

enum Colour : std::uint32_t {
    red = 0xFF0000,
    green = 0x00FF00,
    blue = 0x0000FF,
    white = 0xFFFFFF,
    black = 0x000000,
};

// The colour nearest to the pixel among the five the test pictures use.
Colour colourAt(const book::Pixels &p, int x, int y)
{
    std::uint32_t v = p.data.at(static_cast<std::size_t>(y) * p.width + x);
    auto on = [&](int shift) { return ((v >> shift) & 0xFF) > 128; };
    if (on(16) && on(8))
        return white;
    return on(16) ? red : on(8) ? green : on(0) ? blue : black;
}

class Pictures : public booktest::ToolTest
{
  protected:
    fs::path photos() const { return folder / "photos"; }
    fs::path disk() const { return folder / "disk"; }
    fs::path pictureFolder() const { return book::diskLayout(disk()).pictures; }
    fs::path bookFile() const { return book::diskLayout(disk()).book; }

    void addPhoto(const std::string &source, const std::string &name)
    {
        fs::create_directories(photos());
        fs::copy_file(source, photos() / name);
    }
    void writeBook(const std::string &contents)
    {
        fs::create_directories(bookFile().parent_path());
        writeBytes(bookFile(), contents);
    }
    // The tool's output decoded again, as it lies on the disk.
    book::Pixels written(const std::string &name, book::JpegFacts &facts)
    {
        std::string bytes = readBytes(pictureFolder() / name);
        facts = book::inspectJpeg(bytes);
        book::SourceFacts ignored;
        return book::boxPicture(bytes, book::pictureWidth, book::pictureHeight, book::Placement::fit, ignored);
    }
};

TEST_F(Pictures, EveryPhotoBecomesABaselineJpegOfTheBoxTheRightWayUp)
{
    struct Case {
        const char *source;
        bool fit;
        Colour topLeft, topRight, bottomLeft, bottomRight, topMiddle;
    };
    const Case cases[] = {
        // 4:3 cropped to fill: the quadrants meet in the middle, nothing black.
        {"photo.jpg", false, red, green, blue, white, red},
        // Fitted: black bars above and below.
        {"photo.jpg", true, red, green, blue, white, black},
        {"progressive.jpg", false, red, green, blue, white, red},
        // An iPhone's HEIC photo.
        {"photo.heic", false, red, green, blue, white, red},
        // Stored sideways with EXIF orientation 6: turned a quarter clockwise.
        {"turned.jpg", false, blue, red, white, green, blue},
        // Transparent on white, the PNG's opaque right half black.
        {"logo.png", false, white, black, white, black, white},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.source) + (c.fit ? " fitted" : " cropped"));
        fs::remove_all(folder / "photos");
        fs::remove_all(disk());
        addPhoto(pictureData(c.source), c.source);
        std::vector<std::string> arguments = {"pictures", photos().string(), "--disk", disk().string()};
        if (c.fit)
            arguments.push_back("--fit");
        auto run = runTool(arguments);
        ASSERT_EQ(run.status, 0) << run.output;
        std::string name = fs::path(c.source).stem().string() + ".jpg";
        book::JpegFacts facts;
        book::Pixels p = written(name, facts);
        EXPECT_FALSE(facts.progressive);
        EXPECT_EQ(facts.width, book::pictureWidth);
        EXPECT_EQ(facts.height, book::pictureHeight);
        EXPECT_LT(fs::file_size(pictureFolder() / name), 8u << 10);
        EXPECT_EQ(colourAt(p, 20, 25), c.topLeft);
        EXPECT_EQ(colourAt(p, 145, 25), c.topRight);
        EXPECT_EQ(colourAt(p, 20, 133), c.bottomLeft);
        EXPECT_EQ(colourAt(p, 145, 133), c.bottomRight);
        EXPECT_EQ(colourAt(p, 40, 3), c.topMiddle);
        EXPECT_TRUE(contains(run.output, c.source + std::string(": ")) && contains(run.output, "-> " + name))
            << run.output;
        // No picture among the photos is called unknown: a placeholder stands in.
        EXPECT_TRUE(fs::exists(pictureFolder() / "unknown.jpg"));
    }
}

TEST_F(Pictures, EntriesGetTheirPicturesAndTheRestOfTheBookStaysAsItWas)
{
    addPhoto(pictureData("photo.jpg"), "Anna M\303\274ller.jpg"); // by the entry's name
    addPhoto(pictureData("progressive.jpg"), "1.jpg");            // the router's fonpix name
    addPhoto(pictureData("logo.png"), "0401112233.png");          // by the entry's number
    addPhoto(pictureData("turned.jpg"), "unknown.JPG");           // the owner's own unknown.jpg
    writeBytes(photos() / "broken.jpg", "not a picture\n");
    writeBytes(photos() / "notes.txt", "shopping list\n");
    writeBook("# own line first\r\n"
              "0305550001 = Zuhause\r\n"
              "0301234567 = Anna M\374ller , , Handy\r\n"
              "0891234 = B\374ro,1.jpg\r\n"
              "0401112233 = Mama, mum.jpg, Festnetz, Wohnung\r\n"
              "0309999 = Weg, gone.jpg, Info\r\n"
              "0308888 = Kaputt, broken.jpg\r\n");

    auto run = runTool({"pictures", photos().string(), "--disk", disk().string()});
    EXPECT_EQ(run.status, 1) << run.output; // one photo could not be read; the others are written
    EXPECT_EQ(readBytes(bookFile()), "# own line first\r\n"
                                     "0305550001 = Zuhause\r\n"
                                     "0301234567 = Anna M\374ller , anna-muller.jpg, Handy\r\n"
                                     "0891234 = B\374ro,1.jpg\r\n" // already right
                                     "0401112233 = Mama, 0401112233.jpg, Festnetz, Wohnung\r\n"
                                     "0309999 = Weg, , Info\r\n"
                                     "0308888 = Kaputt, \r\n");
    std::vector<std::string> files;
    for (const auto &entry : fs::directory_iterator(pictureFolder()))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"0401112233.jpg", "1.jpg", "anna-muller.jpg", "unknown.jpg"}));
    for (const char *said :
         {"error: broken.jpg cannot be read: neither a JPEG, a PNG nor a HEIC file", "notes.txt: skipped",
          "-> anna-muller.jpg 166 x 158", "for 0301234567 Anna M\303\274ller", "JPEG 320 x 240, progressive",
          "\"gone.jpg\" is not in the picture folder", "4 picture(s) written, 1 could not be read"})
        EXPECT_TRUE(contains(run.output, said)) << said << "\n" << run.output;
    EXPECT_FALSE(contains(run.output, "placeholder")) << run.output;

    // The program loads the book as before, and the disk check finds every picture in order.
    auto check = runTool({"check", "--disk", disk().string()});
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_FALSE(contains(check.output, "warning:")) << check.output;
    EXPECT_TRUE(contains(check.output, "4 picture(s) looked at")) << check.output;
}

TEST_F(Pictures, PhonePhotoNamesKindsAndAConvertAgainAsAnOwnerMeetsThem)
{
    addPhoto(pictureData("logo.png"), "0176 99887766.png");   // the number as the phone writes it
    addPhoto(pictureData("photo.jpg"), "+49 30 1234567.jpg"); // with the country code
    addPhoto(pictureData("photo.heic"), "Oma.heic");          // an iPhone's photo, by name
    addPhoto(pictureData("turned.jpg"), "Unbekannt.jpeg");    // the German phone's unknown caller
    writeBytes(photos() / "kaputt.jpg", "\377\330\377\304\000\004\377\377\377\377 no Huffman table here");
    writeBook("- = Platzhalter\n017699887766 = Bernd\n0301234567 = Anna\n0305555 = Oma\n");

    auto run = runTool({"pictures", photos().string(), "--disk", disk().string()});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(readBytes(bookFile()), "- = Platzhalter\n017699887766 = Bernd, 0176-99887766.jpg\n"
                                     "0301234567 = Anna, 49-30-1234567.jpg\n0305555 = Oma, oma.jpg\n");
    EXPECT_TRUE(contains(run.output, "error: kaputt.jpg cannot be read: the file is damaged (not a whole JPEG "
                                     "picture); nothing written for it\n"))
        << run.output;
    EXPECT_FALSE(contains(run.output, "placeholder")) << run.output;
    EXPECT_TRUE(contains(run.output, "Unbekannt.jpeg: JPEG 320 x 240, EXIF orientation 6, 2.5 KB -> unknown.jpg"))
        << run.output;
    EXPECT_TRUE(fs::exists(pictureFolder() / "unknown.jpg"));

    // The router's export again, which knows nothing of these pictures: the entries keep them.
    writeBytes(folder / "export.xml",
               "<phonebooks><phonebook><contact><person><realName>Anna</realName></person><telephony>"
               "<number>0301234567</number><number>0301230000</number></telephony></contact></phonebook></phonebooks>");
    auto again = runTool({"convert", (folder / "export.xml").string(), "--disk", disk().string()});
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_TRUE(contains(readBytes(bookFile()), "\n0301234567 = Anna, 49-30-1234567.jpg\n0301230000 = Anna\n"))
        << readBytes(bookFile());
    EXPECT_TRUE(contains(again.output, "1 entry picture(s) kept from the address book that was there")) << again.output;
    // Bernd and Oma are gone from the book; their pictures are listed as unused.
    auto check = runTool({"check", "--disk", disk().string()});
    for (const char *unused : {"0176-99887766.jpg", "oma.jpg"})
        EXPECT_TRUE(contains(check.output, "note: picture file \"" + std::string(unused) + "\" in " +
                                               pictureFolder().string() + " is named by no entry"))
            << check.output;
    EXPECT_TRUE(contains(check.output, "2 picture file(s) named by no entry")) << check.output;
}

TEST_F(Pictures, ConvertWithTheRoutersFonpixFolderMakesAWholeDisk)
{
    addPhoto(pictureData("progressive.jpg"), "1.jpg");
    auto contact = [](const std::string &name, const std::string &number, const std::string &image) {
        return "<contact><person><realName>" + name + "</realName><imageURL>file:///var/media/ftp/FRITZ/fonpix/" +
               image + "</imageURL></person><telephony><number type=\"home\">" + number +
               "</number></telephony></contact>";
    };
    writeBytes(folder / "export.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<phonebooks><phonebook>" +
                                          contact("Oma", "0301111", "1.jpg") + contact("Opa", "0302222", "2.jpg") +
                                          "</phonebook></phonebooks>\n");
    auto run = runTool({"convert", (folder / "export.xml").string(), "--disk", disk().string(), "--pictures",
                        photos().string(), "--own-number", "0305550001", "--own-name", "Zuhause"});
    ASSERT_EQ(run.status, 0) << run.output;
    std::string book = readBytes(bookFile());
    EXPECT_TRUE(contains(book, "\n0301111 = Oma, 1.jpg, Privat\n")) << book;
    // The router's picture of Opa was not copied: he shows unknown.jpg rather than an empty box.
    EXPECT_TRUE(contains(book, "\n0302222 = Opa, , Privat\n")) << book;
    EXPECT_FALSE(book::inspectJpeg(readBytes(pictureFolder() / "1.jpg")).progressive);
    EXPECT_TRUE(fs::exists(pictureFolder() / "unknown.jpg"));
    EXPECT_EQ(runTool({"check", "--disk", disk().string()}).status, 0);
}

TEST_F(Pictures, FolderThatCannotBeReadIsAUsageErrorAndWritesNothing)
{
    auto run = runTool({"pictures", (folder / "none").string(), "--disk", disk().string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.output, "no such folder")) << run.output;
    EXPECT_FALSE(fs::exists(disk()));
    EXPECT_EQ(runTool({"pictures", folder.string()}).status, 2); // neither --disk nor -o
}

TEST(PictureNames, PlainShortAndDistinct)
{
    struct Case {
        const char *source, *name;
    };
    const Case cases[] = {
        {"Anna M\303\274ller.JPG", "anna-muller.jpg"},
        {"\305\201ukasz (Handy).png", "lukasz-handy.jpg"},
        {"1715093456-0.jpg", "1715093456-0.jpg"},
        {"___.jpeg", "picture.jpg"},
        {"Wohngemeinschaft Schillerstra\303\237e 12.jpg", "wohngemeinschaft-schille.jpg"},
        {"anna.png", "anna-2.jpg"}, // "anna.jpg" is taken
    };
    for (const Case &c : cases)
        EXPECT_EQ(book::receiverName(c.source, {"ANNA.jpg"}), c.name) << c.source;
}

TEST_F(Pictures, DiskCheckNamesWhatTheReceiverWouldStumbleOver)
{
    struct Case {
        std::string picture;     // as the entry names it
        std::string file, bytes; // what lies in the picture folder
        std::string finding;
    };
    const Case cases[] = {
        {"anna.jpg", "", "", "picture \"anna.jpg\" is not in"},
        {"anna.jpg", "Anna.JPG", readBytes(pictureData("progressive.jpg")), "(there is \"Anna.JPG\""},
        {"pro.jpg", "pro.jpg", readBytes(pictureData("progressive.jpg")), "is a progressive JPEG"},
        {"big.jpg", "big.jpg", readBytes(pictureData("photo.jpg")), "is 720 x 540 in 10 KB, far more than"},
        {"logo.jpg", "logo.jpg", readBytes(pictureData("logo.png")), "a PNG file, not a JPEG"},
        {"J\366rg.jpg", "J\366rg.jpg", "", "picture name \"J\303\266rg.jpg\" is not plain ASCII"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.finding);
        fs::remove_all(disk());
        writeBook("0305550001 = Zuhause\n0301234567 = Anna, " + c.picture + "\n");
        fs::create_directories(pictureFolder());
        writeBytes(pictureFolder() / "unknown.jpg", readBytes(pictureData("turned.jpg")));
        if (!c.file.empty())
            writeBytes(pictureFolder() / c.file, c.bytes.empty() ? readBytes(pictureData("turned.jpg")) : c.bytes);
        book::CheckReport report = book::checkAddressBook(bookFile());
        book::checkPictures(report, bookFile(), pictureFolder());
        EXPECT_TRUE(std::any_of(report.findings.begin(), report.findings.end(), [&](const book::Finding &f) {
            return f.line == 2 && f.severity == book::Finding::Severity::warning && contains(f.text, c.finding);
        })) << booktest::reportText(report);
    }

    // unknown.jpg is checked too, although no entry names it.
    writeBook("0305550001 = Zuhause, pro.jpg\n");
    fs::remove(pictureFolder() / "unknown.jpg");
    book::CheckReport report = book::checkAddressBook(bookFile());
    book::checkPictures(report, bookFile(), pictureFolder());
    EXPECT_TRUE(std::any_of(report.findings.begin(), report.findings.end(), [](const book::Finding &f) {
        return f.line == 0 && contains(f.text, "\"unknown.jpg\" is not in");
    })) << booktest::reportText(report);
}

TEST(DemoDisk, PicturesAreWhatTheToolMakesOfTheDemoPhotos)
{
    fs::path out = fs::temp_directory_path() / ("demo-pictures-" + std::to_string(getpid()));
    auto run = runTool({"pictures", DEMO_PHOTOS, "-o", out.string()});
    ASSERT_EQ(run.status, 0) << run.output;
    std::size_t compared = 0;
    for (const auto &entry : fs::directory_iterator(out)) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(readBytes(entry.path()), readBytes(fs::path(DEMO_PICTURES) / entry.path().filename()))
            << "run: ringwatcher-book pictures demo/photos -o demo/disk/PhotoFiles/Ringwatcher";
        compared++;
    }
    std::size_t committed = std::distance(fs::directory_iterator(DEMO_PICTURES), fs::directory_iterator());
    EXPECT_EQ(compared, committed);
    fs::remove_all(out);
}

} // namespace
