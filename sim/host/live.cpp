#include "live.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <optional>
#include <random>
#include <thread>

#include "fakerouter/commands.h"
#include "fakerouter/fakeRouter.h"
#include "firmware.h"
#include "frontend.h"
#include "livePage.h"
#include "loader.h"
#include "network.h"
#include "pngFile.h"
#include "receiver.h"
#include "routerPlayer.h"
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
            if (e.kind == JournalEntry::Kind::print) {
                std::fputs(utf8(e.text).c_str(), stdout);
                if (page_)
                    page_->addPrint(e.text);
            }
            if (file_) {
                if (e.kind == JournalEntry::Kind::call)
                    std::fprintf(file_, "%s\n", e.text.c_str());
                else if (e.kind == JournalEntry::Kind::print)
                    std::fprintf(file_, "print \"%s\"\n", escapeText(e.text).c_str());
                else
                    std::fprintf(file_, "# %s\n", e.text.c_str());
            }
        }
        std::fflush(stdout);
        if (file_)
            std::fflush(file_);
        journal.clear();
    }

  private:
    LivePage *page_;
    FILE *file_ = nullptr;
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
    std::unique_ptr<RouterPlayer> player;
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
        player = std::make_unique<RouterPlayer>(std::move(script), [](const std::string &what) {
            std::printf("[router] %s\n", what.c_str());
            std::fflush(stdout);
        });
        network().setRouter("", player->port());
        std::printf("fake router on 127.0.0.1:%u%s\n", player->port(),
                    options.routerScript.empty() ? "" : (", playing " + options.routerScript.string()).c_str());
    }

    // The page.
    std::unique_ptr<LivePage> page;
    if (options.httpPort >= 0) {
        LivePage::RouterConsole console;
        if (player)
            console = [p = player.get()](const std::string &line) { return p->submit(line); };
        try {
            page = std::make_unique<LivePage>(options.bindAddress, static_cast<uint16_t>(options.httpPort), console);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
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
    Receiver receiver(*entries);
    receiver.start();
    journal.drain();
    if (latency)
        latency->start();

    // The firmware's event loop: queued keys, then one idle event, about a
    // hundred times a second. A late turn does not make up for lost ones.
    auto started = SteadyClock::now();
    auto next = started;
    std::string ending = "the simulator was stopped";
    while (receiver.resident()) {
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
        if (page)
            for (uint32_t key : page->takeKeys())
                if (receiver.resident())
                    receiver.key(key);
        if (receiver.resident())
            receiver.idle();
        journal.drain();
        next += idlePeriod;
        auto now = SteadyClock::now();
        if (next < now)
            next = now;
        std::this_thread::sleep_until(next);
    }
    if (!receiver.resident())
        ending = "the program ended itself";
    receiver.stop();
    journal.drain();
    std::printf("%s\n", ending.c_str());
    if (page)
        page->setEnded(ending);

    int status = 0;
    for (const auto &leak : fw.leakReport()) {
        std::printf("leak: %s\n", leak.c_str());
        status = 1;
    }
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
