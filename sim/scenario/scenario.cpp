#include "scenario.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>

#include "fakerouter/commands.h"
#include "fakerouter/fakeRouter.h"
#include "fakerouter/player.h"
#include "firmware.h"
#include "loader.h"
#include "memoryTransport.h"
#include "network.h"
#include "receiver.h"
#include "remote.h"
#include "scenarioWords.h"
#include "temporaryReceiver.h"

namespace sim
{

namespace fs = std::filesystem;

namespace
{

class Run
{
  public:
    Run(const ScenarioOptions &options, ScenarioResult &result) : options_(options), result_(result) {}
    void execute(std::string_view script);

  private:
    void fail(const std::string &what) { result_.failures.push_back("line " + std::to_string(lineNo_) + ": " + what); }
    bool command(const std::vector<std::string> &w, const std::string &line);
    bool expectation(const std::vector<std::string> &w);
    // A command in the fake router's language; false for what means nothing here.
    bool routerCommand(const std::string &line);
    // Carries out a router command and waits until its bytes (or its close)
    // have reached the program's sockets.
    std::string perform(const fakerouter::Command &command);
    // Virtual time for the router's player: 10 ms a tick, counted across the
    // wrap of the tick counter and not moved by "tick".
    fakerouter::Time now();
    void ensureStarted();
    // What waits on the program's sockets now, taken before a router action,
    // so that settle() can wait until the action has reached them.
    std::map<int, int> waitingBytes() const;
    void settle(const std::map<int, int> &before, size_t bytes);
    void finish();

    const ScenarioOptions &options_;
    ScenarioResult &result_;
    std::unique_ptr<TemporaryReceiver> booted_;
    std::unique_ptr<fakerouter::FakeRouter> router_;
    std::unique_ptr<fakerouter::Player> player_;
    uint32_t lastTick_ = 0;
    fakerouter::Time now_{0};
    std::unique_ptr<Receiver> receiver_;
    std::string routerHost_;
    int lineNo_ = 0;
    dword lastResult_ = 0;
    bool stopped_ = false;
};

void Run::ensureStarted()
{
    if (receiver_)
        return;
    std::string error;
    auto entries = loadProgram(options_.program, true, &error);
    if (!entries)
        throw std::runtime_error("cannot load the program: " + error);
    receiver_ = std::make_unique<Receiver>(*entries);
    receiver_->start();
}

std::map<int, int> Run::waitingBytes() const
{
    router_->acceptPending();
    std::map<int, int> out;
    for (int fd : network().programSockets()) {
        int waiting = 0;
        ::ioctl(fd, FIONREAD, &waiting);
        out[fd] = waiting;
    }
    return out;
}

void Run::settle(const std::map<int, int> &before, size_t bytes)
{
    for (const auto &[fd, waiting] : before)
        network().waitReadable(fd, waiting + static_cast<int>(bytes), 2000);
}

bool Run::routerCommand(const std::string &line)
{
    fakerouter::Command command;
    try {
        command = fakerouter::parseCommand(line);
    } catch (const fakerouter::SyntaxError &error) {
        fail("cannot understand \"" + line + "\": " + error.message());
        return true;
    }
    using fakerouter::Action;
    if (command.action == Action::Help || command.action == Action::Quit)
        return false;
    player_->perform(command, now());
    return true;
}

fakerouter::Time Run::now()
{
    uint32_t tick = firmware().clock.tick();
    now_ += fakerouter::Time(10 * static_cast<int64_t>(static_cast<uint32_t>(tick - lastTick_)));
    lastTick_ = tick;
    return now_;
}

std::string Run::perform(const fakerouter::Command &command)
{
    const auto before = waitingBytes();
    const size_t offered = router_->bytesOffered();
    std::string report = fakerouter::perform(*router_, command);
    using fakerouter::Action;
    if (command.action == Action::Close || command.action == Action::Reset) {
        for (const auto &[fd, waiting] : before)
            network().waitClosed(fd, 2000);
    } else {
        settle(before, router_->bytesOffered() - offered);
    }
    return report;
}

bool Run::expectation(const std::vector<std::string> &w)
{
    if (w.size() < 2)
        return false;
    const std::string &what = w[1];
    auto arg = [&](size_t i) { return i < w.size() ? w[i] : std::string(); };
    Journal &j = firmware().journal;
    if (what == "print") {
        if (!j.hasPrint(arg(2)))
            fail("expected the print line \"" + escapeText(arg(2)) + "\"");
    } else if (what == "no-print") {
        if (j.hasPrint(arg(2)))
            fail("did not expect the print line \"" + escapeText(arg(2)) + "\"");
    } else if (what == "prints") {
        size_t n = j.countPrints(arg(2));
        auto want = scenarioNumber(arg(3));
        if (!want || static_cast<int64_t>(n) != *want)
            fail("expected \"" + escapeText(arg(2)) + "\" " + arg(3) + " times, saw it " + std::to_string(n) +
                 " times");
    } else if (what == "call" || what == "no-call") {
        bool seen = false;
        for (const auto &c : j.calls())
            seen = seen || c.find(arg(2)) != std::string::npos;
        if (seen != (what == "call"))
            fail((what == "call" ? "expected a firmware call containing \"" : "did not expect a call containing \"") +
                 arg(2) + "\"");
    } else if (what == "regions") {
        auto want = scenarioNumber(arg(2));
        if (!want || static_cast<int64_t>(firmware().osd.regionCount()) != *want)
            fail("expected " + arg(2) + " regions, there are " + std::to_string(firmware().osd.regionCount()));
    } else if (what == "result") {
        auto want = scenarioNumber(arg(2));
        if (!want || static_cast<dword>(*want) != lastResult_)
            fail("expected event result " + arg(2) + ", got " + std::to_string(lastResult_));
    } else if (what == "resident" || what == "exited") {
        bool resident = receiver_ && receiver_->resident();
        if (resident != (what == "resident"))
            fail(std::string("expected the program to be ") + (what == "resident" ? "resident" : "ended"));
    } else if (what == "golden") {
        if (options_.compareGolden) {
            if (auto problem = options_.compareGolden(firmware().osd.frame(), arg(2)))
                fail(*problem);
        }
    } else {
        return false;
    }
    return true;
}

bool Run::command(const std::vector<std::string> &w, const std::string &line)
{
    const std::string &c = w[0];
    auto arg = [&](size_t i) { return i < w.size() ? w[i] : std::string(); };
    if (c == "heap") {
        auto n = scenarioNumber(arg(1));
        if (!n)
            return false;
        firmware().heap.reset(static_cast<uint32_t>(*n));
    } else if (c == "fail-alloc") {
        auto n = scenarioNumber(arg(1));
        if (!n)
            return false;
        firmware().heap.failAllocation(static_cast<uint64_t>(*n));
    } else if (c == "tick") {
        auto n = scenarioNumber(arg(1));
        if (!n)
            return false;
        now(); // the counter jumps; no time passes for the router
        firmware().clock.startVirtual(static_cast<uint32_t>(*n), firmware().clock.wallTime());
        lastTick_ = firmware().clock.tick();
    } else if (c == "clock") {
        std::tm t{};
        std::istringstream in(arg(1) + " " + arg(2));
        in >> std::get_time(&t, "%Y-%m-%d %H:%M:%S");
        if (in.fail())
            return false;
        t.tm_isdst = -1;
        firmware().clock.startVirtual(firmware().clock.tick(), std::mktime(&t));
    } else if (c == "router-host") {
        network().setRouter(arg(1), router_->port());
    } else if (c == "state") {
        auto a = scenarioNumber(arg(1)), b = scenarioNumber(arg(2));
        if (!a || !b)
            return false;
        firmware().receiver.state = static_cast<uint32_t>(*a);
        firmware().receiver.subState = static_cast<uint32_t>(*b);
    } else if (c == "fault") {
        bool on = arg(2) != "off";
        NetworkFaults &f = network().faults;
        if (arg(1) == "resolve")
            f.resolveFails = on;
        else if (arg(1) == "connect")
            f.connectRefused = on;
        else if (arg(1) == "socket")
            f.socketFails = on;
        else if (arg(1) == "fionread")
            f.fionreadFails = on;
        else
            return false;
    } else if (c == "start") {
        ensureStarted();
    } else if (c == "wait") {
        auto t = scenarioTicks(arg(1));
        if (!t)
            return false;
        ensureStarted();
        receiver_->run(*t, [this] { player_->advance(now()); });
    } else if (c == "idle") {
        ensureStarted();
        lastResult_ = receiver_->idle();
    } else if (c == "key") {
        std::optional<int64_t> code = scenarioNumber(arg(1));
        for (const RemoteKey &key : remoteKeys)
            if (key.name == arg(1))
                code = key.code;
        if (!code)
            return false;
        ensureStarted();
        lastResult_ = receiver_->key(static_cast<dword>(*code));
    } else if (c == "event") {
        auto code = scenarioNumber(arg(1)), param = scenarioNumber(arg(2));
        if (!code || !param)
            return false;
        ensureStarted();
        lastResult_ = receiver_->event(static_cast<dword>(*code), static_cast<dword>(*param));
    } else if (c == "stop") {
        ensureStarted();
        receiver_->stop();
        stopped_ = true;
    } else if (c == "screenshot") {
        if (options_.writePng) {
            fs::path out = options_.screenshotDir / arg(1);
            if (!options_.writePng(firmware().osd.frame(), out))
                fail("cannot write " + out.string());
        }
    } else if (c == "delete") {
        std::error_code ec;
        fs::path p = firmware().disk.hostPath(arg(1));
        if (p.empty())
            return false;
        fs::remove(p, ec);
    } else if (c == "clear-journal") {
        firmware().journal.clear();
    } else if (c == "expect") {
        return expectation(w);
    } else {
        return routerCommand(line);
    }
    return true;
}

void Run::finish()
{
    if (receiver_ && receiver_->resident())
        receiver_->stop();
    for (const auto &leak : firmware().leakReport())
        result_.failures.push_back("leak: " + leak);
}

void Run::execute(std::string_view script)
{
    BootOptions boot;
    boot.diskTemplate = options_.diskTemplate;
    boot.transport = options_.transport;
    booted_ = std::make_unique<TemporaryReceiver>(boot);
    firmware().journal.setEcho(options_.echo);
    if (options_.transport == Transport::Memory)
        router_ = std::make_unique<fakerouter::FakeRouter>(std::make_unique<MemoryTransport>());
    else
        router_ = std::make_unique<fakerouter::FakeRouter>(0);
    router_->setClock([] { return firmware().clock.wallTime(); });
    network().setRouter("", router_->port());
    player_ = std::make_unique<fakerouter::Player>(*router_);
    player_->setPerformer([this](const fakerouter::Command &command) { return perform(command); });
    lastTick_ = firmware().clock.tick();

    std::istringstream in{std::string(script)};
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo_;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> w;
        try {
            w = scenarioWords(line);
        } catch (const fakerouter::SyntaxError &e) {
            fail("cannot understand \"" + line + "\": " + e.message());
            continue;
        }
        if (w.empty() || w[0][0] == '#')
            continue;
        if (w[0] == "file" && w.size() >= 2) {
            // Lines up to a line holding only "." form the file; each ends with
            // CR LF when the command says "crlf", else with LF.
            bool crlf = w.size() > 2 && w[2] == "crlf";
            std::string contents, body;
            while (std::getline(in, body)) {
                ++lineNo_;
                if (body == ".")
                    break;
                try {
                    contents += fakerouter::unescape(body) + (crlf ? "\r\n" : "\n");
                } catch (const fakerouter::SyntaxError &e) {
                    fail(e.message());
                }
            }
            firmware().disk.writeFile(w[1], contents);
            continue;
        }
        try {
            if (!command(w, line))
                fail("cannot understand \"" + line + "\"");
        } catch (const std::exception &e) {
            fail(e.what());
            break;
        }
    }
    finish();
}

} // namespace

ScenarioResult runScenario(std::string_view script, const ScenarioOptions &options)
{
    ScenarioResult result;
    {
        Run run(options, result);
        try {
            run.execute(script);
        } catch (const std::exception &e) {
            result.failures.push_back(e.what());
        }
    }
    result.journal = firmware().journal.dump();
    result.passed = result.failures.empty();
    return result;
}

ScenarioResult runScenarioFile(const fs::path &file, const ScenarioOptions &options)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        ScenarioResult r;
        r.passed = false;
        r.failures.push_back("cannot read " + file.string());
        return r;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    return runScenario(buffer.str(), options);
}

} // namespace sim
