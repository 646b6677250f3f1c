// ringwatcher-fakerouter: a fake FritzBox call monitor for trying Ringwatcher without a router. Plays a
// script and takes commands typed on stdin; one thread owns the router.
#include "fakerouter/commands.h"
#include "fakerouter/fakeRouter.h"
#include "fakerouter/player.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace
{

using namespace fakerouter;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::atomic<bool> interrupted{false};

void report(std::string_view text)
{
    std::time_t now = std::time(nullptr);
    std::string stamp = routerTimestamp(now).substr(9);
    std::cout << "[" << stamp << "] " << text << "\n" << std::flush;
}

// The player on the real clock, with stdin as the console: sleeps in poll() until a line is typed or the
// player has work.
class ControlLoop
{
  public:
    ControlLoop(FakeRouter &router, std::vector<Step> script) : player_(router)
    {
        player_.setListener(report);
        player_.play(std::move(script), now());
    }

    void run()
    {
        while (!player_.quitRequested() && !interrupted) {
            player_.advance(now());
            if (player_.quitRequested() || (!stdinOpen_ && player_.scriptFinished() && !player_.timersPending()))
                break;
            waitForInput();
        }
    }

  private:
    static Time now() { return std::chrono::duration_cast<Time>(Clock::now().time_since_epoch()); }

    milliseconds untilNextWork() const
    {
        Time next = now() + milliseconds(100); // clients come and go without telling
        if (auto due = player_.nextDue())
            next = std::min(next, *due);
        return std::max(milliseconds(0), next - now());
    }

    void waitForInput()
    {
        pollfd watch{stdinOpen_ ? 0 : -1, POLLIN, 0};
        if (::poll(&watch, 1, static_cast<int>(untilNextWork().count())) <= 0)
            return;
        char buffer[4096];
        if (watch.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen_ = false;
                typed(pending_);
                pending_.clear();
                return;
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
            for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                typed(line);
            }
        }
    }

    void typed(const std::string &line)
    {
        auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            return;
        try {
            player_.perform(parseCommand(line), now());
        } catch (const SyntaxError &error) {
            report(std::string("error: ") + error.what());
        }
    }

    Player player_;
    bool stdinOpen_ = true;
    std::string pending_;
};

void onSignal(int)
{
    interrupted = true;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"ringwatcher-fakerouter: a fake FritzBox call monitor (the router's TCP port 1012 service).\n"
                 "Commands typed on stdin (one a line) or played from a script are sent\n"
                 "to every connected client."};
    std::uint16_t port = 1012;
    std::string bindAddress = "127.0.0.1";
    std::string scriptPath;
    bool checkOnly = false;
    app.add_option("-p,--port", port, "TCP port to listen on (ports below 1024 need root)")->capture_default_str();
    app.add_option("-b,--bind", bindAddress, "IPv4 address to listen on")->capture_default_str();
    app.add_option("-s,--script", scriptPath, "play this script once (see demo.calls)")->check(CLI::ExistingFile);
    app.add_flag("--check", checkOnly, "only read the script, report its mistakes and end");
    app.footer("\nCommands:\n" + std::string(commandSummary()) +
               "\nThe tool ends on quit, Ctrl-C, or the end of stdin once the script has played.");
    CLI11_PARSE(app, argc, argv);

    std::vector<Step> script;
    try {
        if (!scriptPath.empty())
            script = loadScript(scriptPath);
    } catch (const std::exception &error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    if (checkOnly) {
        if (scriptPath.empty()) {
            std::cerr << "--check needs --script\n";
            return 2;
        }
        std::cout << scriptPath << ": " << script.size() << " steps, no mistakes\n";
        return 0;
    }

    struct sigaction action {
    };
    action.sa_handler = onSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    try {
        FakeRouter router(port, bindAddress);
        report("listening on " + bindAddress + ":" + std::to_string(router.port()));
        ControlLoop loop(router, std::move(script));
        loop.run();
    } catch (const std::system_error &error) {
        std::cerr << error.what() << "\n";
        if (error.code() == std::errc::permission_denied)
            std::cerr << "ports below 1024 need root; try --port 10120\n";
        return 1;
    } catch (const std::exception &error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
