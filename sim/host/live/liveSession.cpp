// The live session's turns, and live mode's loop around them: about a
// hundred turns a second, until Ctrl-C, the chosen time or, without a page,
// the program's end.
#include "liveSession.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

#ifndef __EMSCRIPTEN__
#include <malloc.h>

#include "livePage.h"
#endif
#include "frontend.h"
#include "loader.h"
#include "memoryTransport.h"
#include "network.h"
#include "pngFile.h"

namespace sim
{

namespace
{

using std::chrono::milliseconds;

constexpr auto idlePeriod = milliseconds(10);

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

LiveSession::LiveSession(const LiveOptions &options, const Typesetter &typesetter, PageFeed *feed)
    : options_(options), typesetter_(typesetter), page_(feed), booted_(bootOptions(options))
{
}

BootOptions LiveSession::bootOptions(const LiveOptions &options)
{
    BootOptions boot;
    boot.disk = options.disk;
    boot.timeZone = nullptr; // the TV shows the machine's local time
    boot.transport = options.memoryNetwork ? Transport::Memory : Transport::Tcp;
    return boot;
}

bool LiveSession::setUpRouter()
{
    if (options_.latencyLines > 0) {
        latency_ = std::make_unique<LatencyRun>(options_.latencyLines, options_.ownNumber, frames_);
        network().setRouter("", latency_->port());
    } else if (options_.routerPort != 0) {
        auto address = ipv4Of(options_.routerAddress);
        if (!address) {
            std::fprintf(stderr, "cannot resolve the router host %s\n", options_.routerAddress.c_str());
            return false;
        }
        network().setRouter("", options_.routerPort, *address);
        std::printf("the program's router connections go to %s:%u\n", address->c_str(), options_.routerPort);
    } else {
        try {
            std::unique_ptr<fakerouter::Transport> transport;
            if (options_.memoryNetwork)
                transport = std::make_unique<MemoryTransport>();
            router_ = std::make_unique<LiveRouter>(options_.routerScript, options_.loopScript, std::move(transport));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return false;
        }
        if (!options_.memoryNetwork) {
            network().setRouter("", router_->port());
            std::printf("fake router on 127.0.0.1:%u%s\n", router_->port(),
                        options_.routerScript.empty() ? "" : (", playing " + options_.routerScript.string()).c_str());
        }
    }
    return true;
}

void LiveSession::startProgram(ProgramEntries entries)
{
    receiver_ = std::make_unique<Receiver>(entries);
    programEnd_.clear();
    receiver_->start();
    journal_->drain();
}

void LiveSession::restartProgram()
{
    if (receiver_->resident()) {
        receiver_->stop();
        noteEnd("the program was stopped for a restart");
    }
    // A private copy, so that the program's state starts anew.
    std::string error;
    auto fresh = loadProgram(options_.program, true, &error);
    if (!fresh) {
#ifdef __EMSCRIPTEN__
        // The program's state is the module's: only a new one starts afresh.
        restartWanted_ = true;
#else
        page_->addPrint("[simulator] cannot load the program: " + error + "\n");
#endif
        return;
    }
    fw_.heap.reset(fw_.heap.size());
    fw_.receiver = {};
    fw_.osd.reset();
    page_->addPrint("[simulator] the program starts anew\n");
    startProgram(*fresh);
}

void LiveSession::handlePage()
{
    for (PageControl control : page_->takeControls()) {
        switch (control) {
        case PageControl::replay:
            if (router_)
                router_->resumeDemo();
            break;
        case PageControl::fill:
            if (router_)
                router_->fillCallList(bookNumbers(fw_.disk.root()), options_.ownNumber);
            break;
        case PageControl::stop:
            if (receiver_->resident()) {
                receiver_->stop();
                noteEnd("the program was stopped (stop event)");
            }
            break;
        case PageControl::restart:
        case PageControl::clear: restartProgram(); break;
        }
    }
    for (uint32_t key : page_->takeKeys())
        if (receiver_->resident())
            receiver_->key(key);
}

void LiveSession::noteEnd(std::string why)
{
    journal_->drain();
    programEnd_ = std::move(why);
    std::printf("%s\n", programEnd_.c_str());
    if (page_)
        page_->addPrint("[simulator] " + programEnd_ + "\n");
    // What the program left behind.
    for (const auto &leak : fw_.leakReport()) {
        std::printf("leak: %s\n", leak.c_str());
        if (page_)
            page_->addPrint("[simulator] leak: " + leak + "\n");
        status_ = 1;
    }
}

// Asked after every idle event: most of the time nothing has changed, and
// then no JSON is made.
void LiveSession::publishStatus()
{
    if (!page_)
        return;
    StatusFacts facts;
    facts.program = receiver_->state();
    facts.lastShown = receiver_->lastShown();
    facts.router = network().routerFacts();
    facts.fakeRouter = router_ != nullptr;
    if (router_) {
        facts.lines = router_->lines();
        facts.routerClients = router_->clients();
        facts.demoPaused = router_->demoPaused();
    }
    facts.heapUsed = fw_.heap.liveBytes();
    facts.heapBlocks = fw_.heap.liveBlocks();
    facts.heapSize = fw_.heap.size();
    facts.receiverState = fw_.receiver.state;
    facts.receiverSubState = fw_.receiver.subState;
    facts.frame = fw_.osd.frameNumber();
    facts.textsVersion = fw_.osd.textsVersion();
    if (receiver_->resident() && !facts.router.connected) {
        // The program tries again once its start-up delay has passed since
        // it started or since its last failed attempt.
        uint32_t base = facts.router.anyFailedAttempt ? facts.router.failedAttemptTick : receiver_->startTick();
        facts.nextAttemptTick = base + connectDelay_ + 1;
    }
    if (statusSent_ && facts == lastStatus_)
        return;
    lastStatus_ = std::move(facts);
    statusSent_ = true;
    page_->setStatus(statusJson(lastStatus_, fw_.osd.texts(), fw_.clock.tick()));
}

void LiveSession::reportLatency()
{
    latency_->finish();
    LatencySummary s = summarize(latency_->samples());
    if (!latency_->problem().empty())
        std::printf("%s\n", latency_->problem().c_str());
    std::printf("latency from a router line's write to the frame that shows it, %zu lines (%d without a frame):\n"
                "  median %.2f ms, 99th percentile %.2f ms, mean %.2f ms, max %.2f ms "
                "(idle events every %lld ms)\n",
                s.count, latency_->lost(), s.median, s.p99, s.mean, s.max, static_cast<long long>(idlePeriod.count()));
    if (s.count == 0)
        status_ = 1;
}

bool LiveSession::begin()
{
    fw_.clock.startReal();
    fw_.journal.setEcho(options_.echo);
    if (options_.disk.empty())
        std::printf("no --disk: the receiver's disk is empty, so the program reports its missing files\n");
    attachDrawing(fw_.osd, typesetter_);
    if (!options_.tvPicture.empty()) {
        std::string error;
        auto picture = readTvPicture(options_.tvPicture, &error);
        if (!picture) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        tv_ = *picture;
        fw_.osd.setTvPicture(tv_);
    }
    std::string error;
    auto entries = loadProgram(options_.program, false, &error);
    if (!entries) {
        std::fprintf(stderr, "cannot load the program: %s\n", error.c_str());
        return false;
    }
    if (!setUpRouter())
        return false;
    if (page_)
        page_->publishFrame(tv_, 0);

    fw_.osd.onFrame([this](const Surface &frame, uint64_t number) {
        frames_.publish(number);
        if (page_)
            page_->publishFrame(frame, number);
        if (!options_.framesDir.empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(++framesWritten_));
            writePng(frame, options_.framesDir / name);
        }
    });

    journal_ = std::make_unique<JournalDrain>(page_, options_.journalFile);
    startProgram(*entries);
    if (latency_)
        latency_->start();
    if (page_) {
        std::string routerName = options_.routerAddress;
        if (!routerName.empty() && options_.routerPort != 1012)
            routerName += ":" + std::to_string(options_.routerPort);
        page_->setSetup(setupJson(fw_.disk.root(), router_ != nullptr, router_ && router_->hasScript(), routerName));
        connectDelay_ = settingsConnectDelay(fw_.disk.root());
    }
    return true;
}

// With a page the simulator outlives the program, which can be started
// again from there.
bool LiveSession::turn()
{
    if (latency_ && latency_->finished())
        return false;
    if (page_)
        handlePage();
    if (router_)
        router_->advance();
    if (receiver_->resident())
        receiver_->idle();
    journal_->drain();
    if (!receiver_->resident() && programEnd_.empty()) {
        std::string why = "the program ended itself";
        const auto &shown = receiver_->lastShown();
        for (size_t i = 0; i < shown.size(); ++i)
            why += (i == 0 ? " after showing \"" : " / ") + utf8(shown[i]) + (i + 1 == shown.size() ? "\"" : "");
        noteEnd(why);
        if (!page_)
            return false;
    }
    publishStatus();
    return true;
}

int LiveSession::finish(const std::string &ending)
{
    if (programEnd_.empty()) {
        receiver_->stop();
        noteEnd(ending);
    } else if (!ending.empty()) {
        std::printf("%s\n", ending.c_str());
    }
    publishStatus();
    fw_.osd.onFrame({});
    if (latency_)
        reportLatency();
    return status_;
}

#ifndef __EMSCRIPTEN__
namespace
{

std::atomic<bool> interrupted{false};
void onSignal(int)
{
    interrupted = true;
}

} // namespace

int runLive(const LiveOptions &options, const Typesetter &typesetter)
{
    // The page's threads would each get a heap arena of their own and keep it;
    // two arenas are plenty for a handful of browsers.
    mallopt(M_ARENA_MAX, 2);
    interrupted = false;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    // The page comes first, so that a busy port ends the run before the
    // program starts; its console reaches the router once there is one.
    std::atomic<LiveSession *> session{nullptr};
    std::unique_ptr<LivePage> page;
    if (options.httpPort >= 0) {
        LivePage::RouterConsole console;
        if (options.latencyLines <= 0 && options.routerPort == 0)
            console = [&session](const std::string &line, double after, bool &failed) {
                LiveSession *live = session;
                if (!live || !live->router()) {
                    failed = true;
                    return std::string("error: the router is not up yet");
                }
                return live->router()->console(line, after, failed);
            };
        try {
            LivePage::Options where{options.bindAddress, static_cast<uint16_t>(options.httpPort), options.allowedHosts};
            page = std::make_unique<LivePage>(where, console);
        } catch (const std::exception &e) {
            std::fprintf(stderr,
                         "%s: is the port in use? Choose another with --http PORT (./demo.sh: PORT=8081 ./demo.sh)\n",
                         e.what());
            return 2;
        }
    }
    LiveSession live(options, typesetter, page.get());
    if (!live.begin())
        return 2;
    session = &live;
    if (page)
        std::printf("open %s in a browser (Ctrl-C ends)\n", page->url().c_str());

    // A late turn does not make up for lost ones.
    using SteadyClock = std::chrono::steady_clock;
    auto started = SteadyClock::now();
    auto next = started;
    std::string ending = "the simulator was stopped";
    while (!interrupted) {
        if (options.seconds > 0 && SteadyClock::now() - started >= std::chrono::duration<double>(options.seconds)) {
            ending = "the simulator's time was up";
            break;
        }
        if (!live.turn()) {
            ending = options.latencyLines > 0 ? "the measurement is done" : "";
            break;
        }
        next += idlePeriod;
        auto now = SteadyClock::now();
        if (next < now)
            next = now;
        std::this_thread::sleep_until(next);
    }
    return live.finish(ending);
}
#endif

} // namespace sim
