// ringwatcher-faketr064: the fake TR-064 service for trying `ringwatcher-book fetch` without a router.
#include <CLI/CLI.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "fakeTr064.h"

namespace
{

faketr064::Service *running = nullptr;

std::string fileBytes(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error(file.string() + ": cannot be read");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"A fake FritzBox TR-064 service on 127.0.0.1: phone books, contact pictures and own numbers "
                 "behind HTTP digest authentication."};
    faketr064::Setup setup;
    int port = 49000, delayMs = 0;
    std::vector<std::string> books, numbers;
    std::string pictures, certificate, key;
    bool noRight = false;
    app.add_option("--port", port, "port to listen on (0: any free one)")->capture_default_str();
    app.add_option("--user", setup.user, "the router user")->capture_default_str();
    app.add_option("--password", setup.password, "the user's password")->capture_default_str();
    app.add_option("--phonebook", books, "NAME=FILE: a phone book (the router's XML export); repeatable")->required();
    app.add_option("--pictures", pictures, "folder whose files the router serves as /var/media/ftp/FRITZ/fonpix/NAME");
    app.add_option("--own-number", numbers, "NUMBER or NUMBER=NAME: an own number; repeatable");
    app.add_option("--area-code", setup.areaCode, "the router's area code")->capture_default_str();
    app.add_option("--delay-ms", delayMs, "wait this long before every answer");
    app.add_flag("--no-telephony-right", noRight, "the user lacks the telephony right (fault 606)");
    app.add_flag("--malformed", setup.malformed, "answer SOAP with XML cut off in the middle");
    auto *https = app.add_option("--certificate", certificate, "PEM certificate: serve HTTPS");
    app.add_option("--key", key, "PEM private key of the certificate")->needs(https);
    CLI11_PARSE(app, argc, argv);

    try {
        for (const std::string &book : books) {
            auto equals = book.find('=');
            if (equals == std::string::npos)
                throw std::runtime_error("--phonebook takes NAME=FILE");
            setup.phoneBooks.push_back({static_cast<int>(setup.phoneBooks.size()), book.substr(0, equals),
                                        fileBytes(book.substr(equals + 1))});
        }
        if (!pictures.empty())
            for (const auto &file : std::filesystem::directory_iterator(pictures))
                setup.files["/var/media/ftp/FRITZ/fonpix/" + file.path().filename().string()] = fileBytes(file.path());
        for (const std::string &number : numbers) {
            auto equals = number.find('=');
            setup.numbers.push_back(
                {number.substr(0, equals), "eVoIP", equals == std::string::npos ? "" : number.substr(equals + 1)});
        }
        setup.delay = std::chrono::milliseconds(delayMs);
        setup.telephonyRight = !noRight;
        setup.certificateFile = certificate;
        setup.keyFile = key;
        faketr064::Service service(setup, port);
        running = &service;
        std::signal(SIGINT, [](int) { running->stop(); });
        std::signal(SIGTERM, [](int) { running->stop(); });
        std::cout << "fake TR-064 service on " << (certificate.empty() ? "http" : "https")
                  << "://127.0.0.1:" << service.port() << "/tr64desc.xml, user \"" << setup.user << "\", "
                  << setup.phoneBooks.size() << " phone book(s), " << setup.files.size()
                  << " picture(s); Ctrl-C ends it" << std::endl;
        service.wait();
        return 0;
    } catch (const std::exception &error) {
        std::cerr << "ringwatcher-faketr064: " << error.what() << '\n';
        return 1;
    }
}
