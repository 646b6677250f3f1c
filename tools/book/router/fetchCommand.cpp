// The password comes from RINGWATCHER_ROUTER_PASSWORD or a prompt on the terminal, never from the
// command line (where every user of the PC can read it) and it is never written anywhere.
#include "router/fetchCommand.h"

#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <termios.h>
#include <unistd.h>

#include "import/phoneBook.h"
#include "writer/bookWriter.h"

namespace book
{

namespace
{

constexpr const char *passwordVariable = "RINGWATCHER_ROUTER_PASSWORD";

bool promptPassword(const std::string &user, std::string &password)
{
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (tty < 0)
        return false;
    std::string prompt = "password of router user \"" + user + "\": ";
    (void)!write(tty, prompt.data(), prompt.size());
    termios saved{};
    bool quiet = tcgetattr(tty, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(tty, TCSAFLUSH, &silent);
    }
    char c = 0;
    while (read(tty, &c, 1) == 1 && c != '\n')
        password += c;
    if (quiet)
        tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!write(tty, "\n", 1);
    close(tty);
    return true;
}

} // namespace

void addFetchCommand(CLI::App &app, FetchCommand &fetch)
{
    FetchOptions &o = fetch.options;
    CLI::App *c = app.add_subcommand(
        "fetch", "fetch the phone book, its pictures and the own numbers from the FritzBox (TR-064) onto a disk");
    fetch.command = c;
    c->footer(std::string("The password is read from ") + passwordVariable + " or asked for on the terminal.");
    c->add_option("--router", o.router.host, "the router's name or IP address")->capture_default_str();
    c->add_option("--port", o.router.port, "TR-064 port (default 49000, with --https 49443)");
    c->add_option("--user", o.user, "router user with the telephony right")->envname("RINGWATCHER_ROUTER_USER");
    c->add_option("--disk", o.disk, "receiver disk folder to write");
    c->add_option("--phonebook", fetch.phoneBook, "the phone book by name or id (default: the router's first)");
    c->add_flag("--list", o.listOnly, "list the router's phone books and stop");
    c->add_flag("--settings", o.settings, "write MSN and AreaCode into the disk's ringwatcher.ini");
    c->add_flag("--https", o.router.https, "use HTTPS (the router's self-signed certificate, pinned)");
    auto *pin = c->add_option("--fingerprint", o.router.fingerprint,
                              "sha256//... of the router's certificate, as the first --https run prints it");
    auto *insecure = c->add_flag("--insecure", o.router.insecure, "HTTPS without checking the certificate");
    pin->excludes(insecure);
    c->add_option("--timeout", o.router.timeoutSeconds, "seconds to wait for an answer")->capture_default_str();
    c->add_option("--area-code", fetch.areaCode, "AreaCode to use instead of the router's");
    c->add_option("--country", o.book.numbers.country, "own country code: +CC and 00CC become 0")
        ->capture_default_str();
    c->add_option("--suppressed-name", o.book.suppressedName, "name for callers who suppress their number");
    c->add_flag("--fit", fetch.fit, "fit whole pictures into the box (black bars) instead of filling it");
}

int runFetchCommand(FetchCommand &fetch)
{
    FetchOptions &o = fetch.options;
    auto usage = [](const std::string &text) {
        std::cerr << "ringwatcher-book: " << text << '\n';
        return 2;
    };
    if (o.user.empty())
        return usage("fetch needs --user: the router user with the right for telephony");
    if (o.disk.empty() && !o.listOnly)
        return usage("fetch needs --disk DIR (or --list)");
    if (!o.router.https && (!o.router.fingerprint.empty() || o.router.insecure))
        return usage("--fingerprint and --insecure go with --https");
    if (fetch.areaCode.find_first_not_of("0123456789") != std::string::npos)
        return usage("--area-code takes digits only, e.g. 030");
    if (!fetch.phoneBook.empty())
        o.phoneBook = fetch.phoneBook;
    o.areaCodeGiven = !fetch.areaCode.empty();
    o.book.numbers.areaCode = fetch.areaCode;
    o.placement = fetch.fit ? Placement::fit : Placement::crop;
    try {
        if (o.router.https && o.router.fingerprint.empty() && !o.router.insecure) {
            std::string fingerprint = readFingerprint(o.router);
            std::cout << o.router.base() << " shows a certificate with the fingerprint\n    " << fingerprint
                      << "\nIf this is your router, run again with --fingerprint " << fingerprint << '\n';
            return 2;
        }
        if (const char *fromEnvironment = std::getenv(passwordVariable))
            o.password = fromEnvironment;
        else if (!promptPassword(o.user, o.password))
            return usage(std::string("no password: set ") + passwordVariable + " or run fetch on a terminal");
        return fetchToDisk(o, std::cout);
    } catch (const UsageError &error) {
        return usage(error.what());
    } catch (const std::exception &error) {
        std::cerr << "ringwatcher-book: " << error.what() << '\n';
        return 1;
    }
}

} // namespace book
