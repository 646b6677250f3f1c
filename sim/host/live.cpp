#include "live.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <optional>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

#include "fakerouter/commands.h"
#include "fakerouter/fakeRouter.h"
#include "fakerouter/player.h"
#include "firmware.h"
#include "frontend.h"
#include "livePage.h"
#include "loader.h"
#include "network.h"
#include "pngFile.h"
#include "receiver.h"
#include "remote.h"
#include "temporaryReceiver.h"

namespace sim
{

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace
{

std::atomic<bool> interrupted{false};
void onSignal(int)
{
    interrupted = true;
}

constexpr auto idlePeriod = milliseconds(10);

std::string utf8(std::string_view latin1)
{
    std::string out;
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The latest published frame, for the latency measurement on another thread.
struct FrameSignal {
    std::mutex mutex;
    std::condition_variable published;
    uint64_t number = 0;
    SteadyClock::time_point at;

    void publish(uint64_t n)
    {
        auto now = SteadyClock::now();
        {
            std::lock_guard lock(mutex);
            number = n;
            at = now;
        }
        published.notify_all();
    }
};

// Writes router lines on its own thread and times each one to the frame that
// shows it. The lines alternate RING and DISCONNECT on the eight connection
// ids, so every line changes the status window; a random pause of up to one
// idle period after each frame spreads the writes over the idle cycle.
class LatencyRun
{
  public:
    LatencyRun(int lines, std::string own, FrameSignal &frames) : lines_(lines), own_(std::move(own)), frames_(frames)
    {
    }
    ~LatencyRun() { finish(); }
    uint16_t port() const { return router_.port(); }
    void start()
    {
        thread_ = std::thread([this] { measure(); });
    }
    void finish()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool finished() const { return finished_; }
    const std::vector<double> &samples() const { return samples_; }
    int lost() const { return lost_; }
    const std::string &problem() const { return problem_; }

  private:
    void measure()
    {
        auto deadline = SteadyClock::now() + std::chrono::seconds(90);
        while (!router_.hasClient() && !stop_ && SteadyClock::now() < deadline)
            router_.acceptPending(milliseconds(100));
        if (!router_.hasClient()) {
            problem_ = "the program did not connect to the router within 90 seconds";
            finished_ = true;
            return;
        }
        std::printf("measuring: the program connected; %d lines follow\n", lines_);
        std::fflush(stdout);
        std::this_thread::sleep_for(milliseconds(500)); // start-up drawing settles
        std::mt19937 random(1);
        std::uniform_int_distribution<int> pause(0, 10000);
        int lostInARow = 0;
        for (int i = 0; i < lines_ && !stop_; ++i) {
            int id = (i / 2) % 8;
            std::string caller = i % 4 < 2 ? "0301234567" : "0899" + std::to_string(100000 + i);
            std::string line = router_.stampedLine(i % 2 == 0 ? fakerouter::ringFields(id, caller, own_)
                                                              : fakerouter::disconnectFields(id, i % 3 == 0 ? 0 : 60));
            uint64_t before;
            {
                std::lock_guard lock(frames_.mutex);
                before = frames_.number;
            }
            auto written = SteadyClock::now();
            router_.send(line);
            std::unique_lock lock(frames_.mutex);
            if (frames_.published.wait_for(lock, std::chrono::seconds(2), [&] { return frames_.number > before; })) {
                samples_.push_back(std::chrono::duration<double, std::milli>(frames_.at - written).count());
                lostInARow = 0;
            } else if (++lost_, ++lostInARow == 5) {
                problem_ = "five lines in a row showed no frame: does the MSN filter let the own number " + own_ +
                           " through (--own)?";
                break;
            }
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        }
        finished_ = true;
    }

    int lines_;
    std::string own_;
    FrameSignal &frames_;
    fakerouter::FakeRouter router_{0};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::vector<double> samples_;
    int lost_ = 0;
    std::string problem_;
};

// The program's router connection as its debug lines tell it: each attempt
// opens a socket, a success says so, and a connection that lasted ten
// minutes gives the program its three attempts anew when it is lost.
class ConnectionWatch
{
  public:
    void notePrint(const std::string &text)
    {
        if (text == "Opening socket\n")
            ++attempts_;
        if (text == "Connected to fritz box\n") {
            connected_ = true;
            since_ = SteadyClock::now();
        }
    }
    // The program's socket is gone.
    void noteClosed()
    {
        if (connected_ && SteadyClock::now() - since_ >= std::chrono::minutes(10))
            attempts_ = 0;
        connected_ = false;
    }
    bool connected() const { return connected_; }
    int attempts() const { return attempts_; }

  private:
    bool connected_ = false;
    int attempts_ = 0;
    SteadyClock::time_point since_;
};

// The texts on screen, region by region, from the drawing calls in the
// journal: what a viewer reads, for the page's status and its tests.
class ScreenTexts
{
  public:
    void noteCall(const std::string &call)
    {
        int region = std::atoi(call.c_str() + call.find('(') + 1);
        if (call.rfind("TAP_Osd_Create(", 0) == 0) {
            regions_[std::atoi(call.c_str() + call.rfind('=') + 1)].clear();
            ++version_;
        } else if (call.rfind("TAP_Osd_Delete(", 0) == 0) {
            if (!regions_[region].empty())
                lastRemoved_ = regions_[region];
            regions_.erase(region);
            ++version_;
        } else if (call.rfind("TAP_Osd_PutS(", 0) == 0) {
            auto open = call.find('"');
            auto close = call.rfind("\",0x");
            if (open == std::string::npos || close == std::string::npos || close <= open)
                return;
            auto &texts = regions_[region];
            if (texts.size() < 64)
                texts.push_back(unescaped(call.substr(open + 1, close - open - 1)));
            ++version_;
        }
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto &[region, texts] : regions_)
            for (const auto &t : texts)
                if (std::find(out.begin(), out.end(), t) == out.end())
                    out.push_back(t);
        return out;
    }

    // The texts of the region removed last: what the program showed before it ended.
    const std::vector<std::string> &lastRemoved() const { return lastRemoved_; }
    // Changes whenever the texts may have.
    uint64_t version() const { return version_; }

  private:
    // The journal writes bytes outside printable ASCII as \ooo.
    static std::string unescaped(const std::string &text)
    {
        std::string latin1;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
                latin1 += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else if (text[i] == '\\' && i + 1 < text.size()) {
                latin1 += text[++i];
            } else {
                latin1 += text[i];
            }
        }
        return utf8(latin1);
    }
    std::map<int, std::vector<std::string>> regions_;
    std::vector<std::string> lastRemoved_;
    uint64_t version_ = 0;
};

// What the page's status is made of, to tell cheaply whether it changed.
struct StatusFacts {
    std::string ended;
    bool connected = false;
    int attempts = 0;
    std::vector<std::string> lines;
    int routerClients = 0;
    uint32_t heapUsed = 0;
    size_t heapBlocks = 0;
    uint32_t receiverState = 0;
    uint32_t receiverSubState = 0;
    uint64_t frame = 0;
    uint64_t screenVersion = UINT64_MAX;
    bool operator==(const StatusFacts &) const = default;
};

// Everything the program asked and printed goes to the page, stdout and the
// journal file, then the journal is emptied so that a long run stays small.
class JournalDrain
{
  public:
    JournalDrain(LivePage *page, const fs::path &journalFile) : page_(page)
    {
        if (!journalFile.empty()) {
            file_ = std::fopen(journalFile.c_str(), "w");
            if (!file_)
                std::fprintf(stderr, "cannot write %s\n", journalFile.c_str());
        }
    }
    ~JournalDrain()
    {
        if (file_)
            std::fclose(file_);
    }
    void drain()
    {
        Journal &journal = firmware().journal;
        const auto &entries = journal.entries();
        if (entries.empty())
            return;
        for (const auto &e : entries) {
            if (e.kind == JournalEntry::Kind::call)
                screen_.noteCall(e.text);
            if (e.kind == JournalEntry::Kind::print) {
                watch_.notePrint(e.text);
                std::fputs(utf8(e.text).c_str(), stdout);
                if (page_)
                    page_->addPrint(e.text);
            }
            std::string line = e.kind == JournalEntry::Kind::call    ? e.text + "\n"
                               : e.kind == JournalEntry::Kind::print ? "print \"" + escapeText(e.text) + "\"\n"
                                                                     : "# " + e.text + "\n";
            if (file_)
                std::fputs(line.c_str(), file_);
            if (page_)
                page_->addJournal(line);
        }
        std::fflush(stdout);
        if (file_)
            std::fflush(file_);
        journal.clear();
    }

    ConnectionWatch &watch() { return watch_; }
    const ScreenTexts &screen() const { return screen_; }

  private:
    LivePage *page_;
    FILE *file_ = nullptr;
    ConnectionWatch watch_;
    ScreenTexts screen_;
};

std::optional<std::string> ipv4Of(const std::string &host)
{
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    char text[INET_ADDRSTRLEN];
    auto *address = reinterpret_cast<sockaddr_in *>(found->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return std::string(text);
}

// The address book's entries for the page's caller picker, read as the
// program reads them: comment lines skipped, "number = name, picture, info".
nlohmann::json bookCallers(const fs::path &disk)
{
    nlohmann::json callers = nlohmann::json::array();
    std::ifstream in(disk / "ProgramFiles/Settings/Ringwatcher/addrbook.dat", std::ios::binary);
    std::string line;
    auto trim = [](std::string t) {
        auto a = t.find_first_not_of(" \t\r\n");
        auto b = t.find_last_not_of(" \t\r\n");
        return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
    };
    bool first = true;
    while (std::getline(in, line) && callers.size() < 200) {
        line = trim(line);
        auto equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            continue;
        std::string number = trim(line.substr(0, equals));
        std::string value = trim(line.substr(equals + 1));
        std::string name = utf8(value.substr(0, value.find(',')));
        // The first entry is the household's own number, never listed.
        if (!first)
            callers.push_back({{"number", utf8(number)}, {"name", name}});
        first = false;
    }
    return callers;
}

// The action key the program will use: the settings' last valid "ActionKey".
uint32_t settingsActionKey(const fs::path &disk)
{
    std::ifstream in(disk / "ProgramFiles/Settings/Ringwatcher/ringwatcher.ini", std::ios::binary);
    uint32_t key = DEFAULT_ACTION_KEY;
    std::string line;
    while (std::getline(in, line)) {
        auto equals = line.find('=');
        auto name = line.substr(0, equals);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t\r") + 1);
        if (equals == std::string::npos || name != "ActionKey")
            continue;
        auto code = static_cast<uint32_t>(std::atoi(line.c_str() + equals + 1));
        bool refused = false;
        for (const RemoteKey &k : remoteKeys)
            refused |= k.name != "action" && k.code == code;
        if (!refused)
            key = code;
    }
    return key;
}

// The in-process fake router: the event loop plays its script, the page's
// console reaches it from the server's thread, so both take the lock.
struct InProcessRouter {
    fakerouter::FakeRouter router{0};
    fakerouter::Player player{router};
    std::mutex mutex;
    static fakerouter::Time now()
    {
        return std::chrono::duration_cast<fakerouter::Time>(SteadyClock::now().time_since_epoch());
    }
};

} // namespace

LatencySummary summarize(std::vector<double> samples)
{
    LatencySummary s;
    s.count = samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    auto rank = [&](double q) {
        size_t i = static_cast<size_t>(std::ceil(q * static_cast<double>(samples.size())));
        return samples[std::clamp<size_t>(i, 1, samples.size()) - 1];
    };
    s.median = samples.size() % 2 ? samples[samples.size() / 2]
                                  : (samples[samples.size() / 2 - 1] + samples[samples.size() / 2]) / 2;
    s.p99 = rank(0.99);
    s.max = samples.back();
    double sum = 0;
    for (double v : samples)
        sum += v;
    s.mean = sum / static_cast<double>(samples.size());
    return s;
}

int runLive(const LiveOptions &options, const Typesetter &typesetter)
{
    // The page's threads would each get a heap arena of their own and keep it;
    // two arenas are plenty for a handful of browsers.
    mallopt(M_ARENA_MAX, 2);
    interrupted = false;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    BootOptions boot;
    boot.disk = options.disk;
    boot.timeZone = nullptr; // the TV shows the machine's local time
    TemporaryReceiver booted(boot);
    Firmware &fw = firmware();
    fw.clock.startReal();
    fw.journal.setEcho(options.echo);
    if (options.disk.empty())
        std::printf("no --disk: the receiver's disk is empty, so the program reports its missing files\n");
    attachDrawing(fw.osd, typesetter);
    Surface tv = Osd::testPicture();
    if (!options.tvPicture.empty()) {
        std::string error;
        auto picture = readTvPicture(options.tvPicture, &error);
        if (!picture) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
        tv = *picture;
        fw.osd.setTvPicture(tv);
    }

    std::string error;
    auto entries = loadProgram(options.program, false, &error);
    if (!entries) {
        std::fprintf(stderr, "cannot load the program: %s\n", error.c_str());
        return 2;
    }

    // The router.
    std::unique_ptr<InProcessRouter> player;
    std::unique_ptr<LatencyRun> latency;
    FrameSignal frames;
    if (options.latencyLines > 0) {
        latency = std::make_unique<LatencyRun>(options.latencyLines, options.ownNumber, frames);
        network().setRouter("", latency->port());
    } else if (options.routerPort != 0) {
        auto address = ipv4Of(options.routerAddress);
        if (!address) {
            std::fprintf(stderr, "cannot resolve the router host %s\n", options.routerAddress.c_str());
            return 2;
        }
        network().setRouter("", options.routerPort, *address);
        std::printf("the program's router connections go to %s:%u\n", address->c_str(), options.routerPort);
    } else {
        std::vector<fakerouter::Step> script;
        if (!options.routerScript.empty()) {
            try {
                script = fakerouter::loadScript(options.routerScript.string());
            } catch (const std::exception &e) {
                std::fprintf(stderr, "%s\n", e.what());
                return 2;
            }
        }
        player = std::make_unique<InProcessRouter>();
        player->player.setListener([](const std::string &what) {
            std::printf("[router] %s\n", what.c_str());
            std::fflush(stdout);
        });
        player->player.setQuitAllowed(false);
        player->player.play(std::move(script), InProcessRouter::now(), options.loopScript);
        network().setRouter("", player->router.port());
        std::printf("fake router on 127.0.0.1:%u%s\n", player->router.port(),
                    options.routerScript.empty() ? "" : (", playing " + options.routerScript.string()).c_str());
    }

    // The page.
    std::unique_ptr<LivePage> page;
    if (options.httpPort >= 0) {
        LivePage::RouterConsole console;
        if (player)
            console = [p = player.get()](const std::string &line, double after, bool &failed) {
                std::lock_guard lock(p->mutex);
                auto now = InProcessRouter::now();
                std::string report =
                    after > 0 ? p->player.schedule(line, now, milliseconds(static_cast<long long>(after * 1000)))
                              : p->player.submit(line, now);
                failed = report.rfind("error:", 0) == 0;
                // The program drops event lines on connection ids it has no
                // line for; say so where the line was typed.
                if (!failed && report.find("sent") != std::string::npos) {
                    auto fields = line.find_first_of(" \t;");
                    int id = fields == std::string::npos ? 0 : std::atoi(line.c_str() + fields + 1);
                    if (id < 0 || id > 7) {
                        failed = true;
                        report = "the program ignores connection id " + std::to_string(id) +
                                 " (it keeps lines 0 to 7): " + report;
                    }
                }
                return report;
            };
        try {
            page = std::make_unique<LivePage>(options.bindAddress, static_cast<uint16_t>(options.httpPort), console);
        } catch (const std::exception &e) {
            std::fprintf(stderr,
                         "%s: is the port in use? Choose another with --http PORT (./demo.sh: PORT=8081 ./demo.sh)\n",
                         e.what());
            return 2;
        }
        page->publishFrame(tv, 0);
        std::printf("open http://%s:%u/ in a browser (Ctrl-C ends)\n", options.bindAddress.c_str(), page->port());
    }

    uint64_t framesWritten = 0;
    fw.osd.onFrame([&](const Surface &frame, uint64_t number) {
        frames.publish(number);
        if (page)
            page->publishFrame(frame, number);
        if (!options.framesDir.empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(++framesWritten));
            writePng(frame, options.framesDir / name);
        }
    });

    JournalDrain journal(page.get(), options.journalFile);
    auto receiver = std::make_unique<Receiver>(*entries);
    receiver->start();
    journal.drain();
    if (latency)
        latency->start();
    if (page) {
        nlohmann::json setup = {{"callers", bookCallers(fw.disk.root())},
                                {"actionKey", settingsActionKey(fw.disk.root())},
                                {"router", player != nullptr}};
        page->setSetup(setup.dump());
    }

    int status = 0;
    // After the program's end: what it left behind.
    auto reportLeaks = [&] {
        for (const auto &leak : fw.leakReport()) {
            std::printf("leak: %s\n", leak.c_str());
            if (page)
                page->addPrint("[simulator] leak: " + leak + "\n");
            status = 1;
        }
    };
    std::string programEnd; // why the program is not running; empty while it is
    auto ended = [&](std::string why) {
        journal.drain();
        programEnd = std::move(why);
        std::printf("%s\n", programEnd.c_str());
        if (page)
            page->addPrint("[simulator] " + programEnd + "\n");
        reportLeaks();
    };
    StatusFacts lastStatus;
    auto publishStatus = [&] {
        if (!page)
            return;
        // A console command that takes its time (drip, flood) holds the
        // router; meanwhile its last known state stands.
        std::vector<std::string> routerLines = lastStatus.lines;
        int routerClients = player ? lastStatus.routerClients : -1;
        if (player) {
            std::unique_lock lock(player->mutex, std::try_to_lock);
            if (lock) {
                routerLines = player->player.lineStates();
                routerClients = static_cast<int>(player->player.clients());
            }
        }
        if (journal.watch().connected() && network().programSockets().empty())
            journal.watch().noteClosed();
        // Asked after every idle event: most of the time nothing has changed,
        // and then no JSON is made.
        StatusFacts facts{programEnd,
                          journal.watch().connected() && programEnd.empty(),
                          std::min(journal.watch().attempts(), 3),
                          routerLines,
                          routerClients,
                          fw.heap.liveBytes(),
                          fw.heap.liveBlocks(),
                          fw.receiver.state,
                          fw.receiver.subState,
                          fw.osd.frameNumber(),
                          journal.screen().version()};
        if (facts == lastStatus)
            return;
        lastStatus = std::move(facts);
        const StatusFacts &now = lastStatus;
        nlohmann::json lines = player ? nlohmann::json(now.lines) : nlohmann::json(nullptr);
        bool normal = now.receiverState == 0 && now.receiverSubState == 0x1F;
        nlohmann::json state = {
            {"running", now.ended.empty()},
            {"ended", now.ended},
            {"connected", now.connected},
            {"attempts", now.attempts},
            {"lines", lines},
            {"routerClients", now.routerClients},
            {"heapUsed", now.heapUsed},
            {"heapBlocks", now.heapBlocks},
            {"heapSize", fw.heap.size()},
            {"normalViewing", normal},
            {"receiverState", std::to_string(now.receiverState) + "/" + std::to_string(now.receiverSubState)},
            {"frame", now.frame},
            {"screenText", journal.screen().texts()},
        };
        page->setStatus(state.dump());
    };

    // The firmware's event loop: queued keys, then one idle event, about a
    // hundred times a second. A late turn does not make up for lost ones.
    // With a page the simulator outlives the program, which can be started
    // again from there.
    auto started = SteadyClock::now();
    auto next = started;
    std::string ending = "the simulator was stopped";
    while (true) {
        if (interrupted)
            break;
        if (options.seconds > 0 && SteadyClock::now() - started >= std::chrono::duration<double>(options.seconds)) {
            ending = "the simulator's time was up";
            break;
        }
        if (latency && latency->finished()) {
            ending = "the measurement is done";
            break;
        }
        if (page) {
            for (PageControl control : page->takeControls()) {
                if (control == PageControl::replay && player) {
                    std::lock_guard lock(player->mutex);
                    player->player.replay(InProcessRouter::now());
                } else if (control == PageControl::stop && receiver->resident()) {
                    receiver->stop();
                    ended("the program was stopped (stop event)");
                } else if (control == PageControl::restart) {
                    if (receiver->resident()) {
                        receiver->stop();
                        ended("the program was stopped for a restart");
                    }
                    // A private copy, so that the program's state starts anew.
                    auto fresh = loadProgram(options.program, true, &error);
                    if (!fresh) {
                        page->addPrint("[simulator] cannot load the program: " + error + "\n");
                        continue;
                    }
                    fw.heap.reset(fw.heap.size());
                    fw.receiver = {};
                    journal.watch() = {};
                    page->addPrint("[simulator] the program starts anew\n");
                    receiver = std::make_unique<Receiver>(*fresh);
                    programEnd.clear();
                    receiver->start();
                }
            }
            for (uint32_t key : page->takeKeys())
                if (receiver->resident())
                    receiver->key(key);
        }
        if (player) {
            std::unique_lock lock(player->mutex, std::try_to_lock);
            if (lock)
                player->player.advance(InProcessRouter::now());
        }
        if (receiver->resident())
            receiver->idle();
        journal.drain();
        if (!receiver->resident() && programEnd.empty()) {
            std::string why = "the program ended itself";
            const auto &shown = journal.screen().lastRemoved();
            for (size_t i = 0; i < shown.size(); ++i)
                why += (i == 0 ? " after showing \"" : " / ") + shown[i] + (i + 1 == shown.size() ? "\"" : "");
            ended(why);
            if (!page) {
                ending.clear();
                break;
            }
        }
        publishStatus();
        next += idlePeriod;
        auto now = SteadyClock::now();
        if (next < now)
            next = now;
        std::this_thread::sleep_until(next);
    }
    if (programEnd.empty()) {
        receiver->stop();
        ended(ending);
    } else if (!ending.empty()) {
        std::printf("%s\n", ending.c_str());
    }
    publishStatus();

    fw.osd.onFrame({});
    if (latency) {
        latency->finish();
        LatencySummary s = summarize(latency->samples());
        if (!latency->problem().empty())
            std::printf("%s\n", latency->problem().c_str());
        std::printf("latency from a router line's write to the frame that shows it, %zu lines (%d without a frame):\n"
                    "  median %.2f ms, 99th percentile %.2f ms, mean %.2f ms, max %.2f ms "
                    "(idle events every %lld ms)\n",
                    s.count, latency->lost(), s.median, s.p99, s.mean, s.max,
                    static_cast<long long>(idlePeriod.count()));
        if (s.count == 0)
            status = 1;
    }
    return status;
}

} // namespace sim
