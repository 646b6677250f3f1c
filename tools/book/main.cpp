// ringwatcher-book: fetches the router's phone book over TR-064 or converts its export into
// "addrbook.dat", and checks address
// books and settings files the way the program reads them.
// Exit status: 0 done (check: the program loads the file without an error message), 1 the conversion
// failed (check: the program reports errors), 2 usage errors and unreadable files.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <optional>

#include "check/check.h"
#include "check/receiverDisk.h"
#include "convert.h"
#include "import/phoneBook.h"
#include "pictures/pictureMaker.h"
#include "router/fetchCommand.h"

namespace
{

bool allDigits(const std::string &text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int runCheck(bool settings, const std::string &file, const std::string &pictureFolder = "")
{
    try {
        book::CheckReport report = settings ? book::checkSettings(file) : book::checkAddressBook(file);
        if (!pictureFolder.empty())
            book::checkPictures(report, file, pictureFolder);
        book::printCheckReport(std::cout, report);
        return report.programReportsErrors() ? 1 : 0;
    } catch (const std::exception &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 2;
    }
}

// The disk's address book with its pictures, and its settings file when there is one.
int runDiskCheck(const std::string &disk)
{
    book::DiskLayout layout = book::diskLayout(disk);
    int status = runCheck(false, layout.book.string(), layout.pictures.string());
    std::error_code ec;
    if (status != 2 && std::filesystem::exists(layout.settings, ec)) {
        std::cout << '\n';
        status = std::max(status, runCheck(true, layout.settings.string()));
    }
    return status;
}

int runPictures(book::PictureOptions options)
{
    try {
        book::PictureRun run = book::makePictures(options);
        book::printPictureRun(std::cout, options, run);
        return run.failed() > 0 ? 1 : 0;
    } catch (const book::InputError &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 2;
    } catch (const std::exception &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 1;
    }
}

// The photos the contacts carry (vCards) and the folder given with --pictures, into the disk's pictures.
int convertPictures(const book::PhoneBook &contacts, const std::string &disk, const std::string &book,
                    const std::string &folder)
{
    std::size_t carried = std::count_if(contacts.contacts.begin(), contacts.contacts.end(),
                                        [](const book::Contact &c) { return !c.photo.empty(); });
    int status = 0;
    if (carried > 0 && disk.empty())
        std::cout << "warning: " << carried << " photo(s) in the contacts left out: with --disk they become the "
                  << "receiver's pictures\n";
    book::PictureOptions photos;
    photos.output = disk.empty() ? "" : book::diskLayout(disk).pictures;
    photos.book = book;
    if (carried > 0 && !disk.empty()) {
        book::PictureRun run = book::makeContactPictures(contacts, photos);
        book::printPictureRun(std::cout, photos, run);
        status = run.failed() > 0 ? 1 : 0;
    }
    if (!folder.empty()) {
        photos.sources = folder;
        status = std::max(status, runPictures(photos));
    }
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Makes Ringwatcher's addrbook.dat and pictures from the FritzBox (over TR-064 or its export) or "
                 "vCards, and checks "
                 "addrbook.dat and ringwatcher.ini as the program reads them."};
    app.require_subcommand(1);

    std::string exportFile, output, convertDisk, fonpix;
    std::optional<std::string> ownNumber, ownName, suppressedName;
    book::BookOptions options;
    CLI::App *convert =
        app.add_subcommand("convert", "convert a phone-book export (XML) or contacts (vCard) into addrbook.dat");
    convert->add_option("export", exportFile, "the router's phone-book export, or a vCard file (.vcf)")->required();
    auto *outputOption = convert->add_option("-o,--output", output, "address book to write, e.g. addrbook.dat");
    auto *convertDiskOption = convert->add_option(
        "--disk", convertDisk, "receiver disk folder: writes ProgramFiles/Settings/Ringwatcher/addrbook.dat there");
    outputOption->excludes(convertDiskOption);
    convert
        ->add_option("--pictures", fonpix,
                     "the router's fonpix folder (or any photos): made into the disk's PhotoFiles/Ringwatcher")
        ->needs(convertDiskOption);
    auto *own = convert->add_option("--own-number", ownNumber,
                                    "own number as the router reports it as the dialled number (first entry)");
    auto *ownNameOption = convert->add_option("--own-name", ownName,
                                              "name of the own line, shown in \"Eingehender Anruf f\303\274r ...\"");
    own->needs(ownNameOption);
    ownNameOption->needs(own);
    convert->add_option("--country", options.numbers.country, "own country code: +CC and 00CC become 0")
        ->capture_default_str();
    convert->add_option("--area-code", options.numbers.areaCode,
                        "the settings' AreaCode: put in front of numbers without a leading 0");
    convert->add_option("--suppressed-name", suppressedName,
                        "name for callers who suppress their number (an entry with an empty number)");
    convert->add_option("--comma", options.commaReplacement, "what replaces a comma in a name")->capture_default_str();

    std::string checkFile, settingsFile, checkDisk;
    CLI::App *check = app.add_subcommand("check", "check an addrbook.dat as the program loads it");
    auto *checkFileOption = check->add_option("file", checkFile, "address book");
    auto *checkDiskOption = check->add_option(
        "--disk", checkDisk, "receiver disk folder: its address book, the pictures it names, its settings");
    checkFileOption->excludes(checkDiskOption);
    CLI::App *checkSettings = app.add_subcommand("check-settings", "check a ringwatcher.ini as the program loads it");
    checkSettings->add_option("file", settingsFile, "settings file")->required();

    book::PictureOptions pictureOptions;
    std::string picturesDisk, picturesOutput, picturesBook;
    bool fit = false;
    CLI::App *pictures =
        app.add_subcommand("pictures", "make a folder of photos (JPEG, PNG, HEIC) into the receiver's pictures");
    pictures->add_option("photos", pictureOptions.sources, "folder of photos, or the router's fonpix folder")
        ->required();
    auto *picturesDiskOption =
        pictures->add_option("--disk", picturesDisk,
                             "receiver disk folder: pictures into PhotoFiles/Ringwatcher, names into its addrbook.dat");
    auto *picturesOutputOption = pictures->add_option("-o,--output", picturesOutput, "picture folder to write");
    auto *picturesBookOption =
        pictures->add_option("--book", picturesBook, "addrbook.dat whose picture names to update");
    picturesDiskOption->excludes(picturesOutputOption)->excludes(picturesBookOption);
    pictures->add_flag("--fit", fit, "fit the whole photo into the box (black bars) instead of filling it");

    book::FetchCommand fetch;
    book::addFetchCommand(app, fetch);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    if (fetch.command->parsed())
        return book::runFetchCommand(fetch);
    if (check->parsed()) {
        if (checkFile.empty() && checkDisk.empty()) {
            std::cerr << "ringwatcher-book: check needs a file or --disk\n";
            return 2;
        }
        return checkDisk.empty() ? runCheck(false, checkFile) : runDiskCheck(checkDisk);
    }
    if (pictures->parsed()) {
        pictureOptions.placement = fit ? book::Placement::fit : book::Placement::crop;
        if (!picturesDisk.empty()) {
            book::DiskLayout layout = book::diskLayout(picturesDisk);
            pictureOptions.output = layout.pictures;
            std::error_code ec;
            if (std::filesystem::exists(layout.book, ec))
                pictureOptions.book = layout.book;
        } else if (picturesOutput.empty()) {
            std::cerr << "ringwatcher-book: pictures needs --disk or -o\n";
            return 2;
        } else {
            pictureOptions.output = picturesOutput;
            if (!picturesBook.empty())
                pictureOptions.book = picturesBook;
        }
        return runPictures(pictureOptions);
    }
    if (checkSettings->parsed())
        return runCheck(true, settingsFile);

    auto usage = [](const std::string &text) {
        std::cerr << "ringwatcher-book: " << text << '\n';
        return 2;
    };
    if (!options.numbers.country.empty() && !allDigits(options.numbers.country))
        return usage("--country takes digits only, e.g. 49");
    if (!options.numbers.areaCode.empty() && !allDigits(options.numbers.areaCode))
        return usage("--area-code takes digits only, e.g. 030");
    if (options.commaReplacement.find(',') != std::string::npos)
        return usage("--comma must not hold a comma");
    options.ownNumber = ownNumber;
    options.ownName = ownName;
    options.suppressedName = suppressedName;
    if (output.empty() && convertDisk.empty())
        return usage("convert needs -o or --disk");
    try {
        if (!convertDisk.empty()) {
            book::DiskLayout layout = book::diskLayout(convertDisk);
            std::filesystem::create_directories(layout.book.parent_path());
            output = layout.book.string();
        }
        book::PhoneBook contacts = book::readContacts(exportFile);
        book::writeConversion(book::convertPhoneBook(contacts, options, book::previousBook(output)), output, options,
                              std::cout);
        return convertPictures(contacts, convertDisk, output, fonpix);
    } catch (const book::UsageError &error) {
        return usage(error.what());
    } catch (const std::exception &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 1;
    }
}
