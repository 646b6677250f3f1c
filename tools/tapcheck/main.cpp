// tapcheck: checks a built program file against the loader's rules and the interface list.
// Exit status: 0 clean, 1 violations, 2 the file or the interface list cannot be read.
#include "checks.h"

#include <CLI/CLI.hpp>
#include <iostream>

#ifndef TAPCHECK_DEFAULT_INTERFACE
#define TAPCHECK_DEFAULT_INTERFACE "interface.txt"
#endif

int main(int argc, char **argv)
{
    CLI::App app{"Checks a Ringwatcher program file (ringwatcher.tap) against the receiver loader's rules."};
    std::string file;
    std::string interfacePath = TAPCHECK_DEFAULT_INTERFACE;
    tapcheck::CheckOptions options;
    app.add_option("file", file, "program file to check")->required();
    app.add_option("--interface", interfacePath, "interface list")->capture_default_str();
    app.add_flag("--allow-sanitizer", options.allowSanitizer,
                 "accept sanitizer imports, libraries and module constructors (sanitizer builds)");
    CLI11_PARSE(app, argc, argv);

    try {
        tapcheck::Interface interface = tapcheck::loadInterface(interfacePath);
        tapcheck::ElfImage image(file);
        tapcheck::Report report = tapcheck::checkProgram(image, interface, options);
        tapcheck::printReport(std::cout, file, report);
        return report.clean() ? 0 : 1;
    } catch (const std::exception &error) {
        std::cerr << "tapcheck: " << error.what() << '\n';
        return 2;
    }
}
