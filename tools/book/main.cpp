// ringwatcher-book: converts the router's phone-book export into "addrbook.dat" and checks address
// books and settings files the way the program reads them.
// Exit status: 0 done (check: the program loads the file without an error message), 1 the conversion
// failed (check: the program reports errors), 2 usage errors and unreadable files.
#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>

#include "check.h"
#include "convert.h"
#include "phoneBook.h"

namespace
{

bool allDigits(const std::string &text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int runCheck(bool settings, const std::string &file)
{
    try {
        book::CheckReport report = settings ? book::checkSettings(file) : book::checkAddressBook(file);
        book::printCheckReport(std::cout, report);
        return report.programReportsErrors() ? 1 : 0;
    } catch (const book::InputError &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 2;
    } catch (const std::exception &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 2;
    }
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Converts the FritzBox phone-book export into Ringwatcher's addrbook.dat and checks "
                 "addrbook.dat and ringwatcher.ini as the program reads them."};
    app.require_subcommand(1);

    std::string exportFile, output;
    std::optional<std::string> ownNumber, ownName, suppressedName;
    book::BookOptions options;
    CLI::App *convert = app.add_subcommand("convert", "convert a phone-book export (XML) into addrbook.dat");
    convert->add_option("export", exportFile, "the router's phone-book export")->required();
    convert->add_option("-o,--output", output, "address book to write, e.g. addrbook.dat")->required();
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

    std::string checkFile, settingsFile;
    CLI::App *check = app.add_subcommand("check", "check an addrbook.dat as the program loads it");
    check->add_option("file", checkFile, "address book")->required();
    CLI::App *checkSettings = app.add_subcommand("check-settings", "check a ringwatcher.ini as the program loads it");
    checkSettings->add_option("file", settingsFile, "settings file")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    if (check->parsed())
        return runCheck(false, checkFile);
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
    try {
        book::convertToFile(exportFile, output, options, std::cout);
        return 0;
    } catch (const book::UsageError &error) {
        return usage(error.what());
    } catch (const std::exception &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 1;
    }
}
