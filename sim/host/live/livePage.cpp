#include "livePage.h"

#include <algorithm>
#include <chrono>

#include "httpServer.h"
#include "journalDrain.h"
#include "pngFile.h"
#include "remote.h"

namespace sim
{

namespace
{

constexpr size_t maxWaitingKeys = 64;

double nowMs()
{
    using namespace std::chrono;
    return static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

// Debug lines are Latin-1; JSON wants UTF-8 with control bytes escaped.
std::string jsonString(std::string_view latin1)
{
    std::string out = "\"";
    for (char c : utf8(latin1)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace

// What one viewer has been sent so far; asked by the server for what is new.
class LivePage::Viewer : public live::EventStream
{
  public:
    explicit Viewer(LivePage &page) : page_(page) {}

    bool next(std::string &data) override
    {
        LivePage &p = page_;
        std::unique_lock lock(p.mutex_);
        if (p.stopping_)
            return false;
        if (!started_)
            data += "retry: 1000\n\n";
        started_ = true;
        if (setup_ != p.setupVersion_)
            data += sseEvent("setup", p.setup_);
        setup_ = p.setupVersion_;
        if (status_ != p.statusVersion_)
            data += sseEvent("status", p.status_);
        status_ = p.statusVersion_;
        uint64_t firstKept = p.printCount_ - p.prints_.size();
        if (nextPrint_ != p.printCount_) {
            std::string lines = "[";
            for (uint64_t i = std::max(nextPrint_, firstKept); i < p.printCount_; ++i) {
                char time[32];
                std::snprintf(time, sizeof time, "%.0f", p.printTimes_[i - firstKept]);
                lines += std::string(lines.size() > 1 ? "," : "") + "{\"t\":" + time +
                         ",\"l\":" + jsonString(p.prints_[i - firstKept]) + "}";
            }
            data += sseEvent("prints", lines + "]");
        }
        nextPrint_ = p.printCount_;
        const FramePatches &patches = p.patches_;
        if (frame_ != patches.latest() && patches.latest() != UINT64_MAX) {
            if (patches.since(frame_, data)) {
                frame_ = patches.latest();
            } else {
                // The whole screen once; encoded outside the lock, and only
                // once per frame however many viewers ask.
                uint64_t number = patches.latest();
                if (!patches.haveWhole(number)) {
                    Surface screen = patches.screen();
                    lock.unlock();
                    auto png = encodePngQuickly(screen);
                    std::string event = frameEvent(number, {0, 0, screen.width, screen.height}, png);
                    lock.lock();
                    p.patches_.keepWhole(number, std::move(event), std::move(png));
                }
                data += patches.haveWhole(number) ? patches.wholeEvent() : "";
                frame_ = number;
            }
        }
        return true;
    }

  private:
    LivePage &page_;
    bool started_ = false;
    uint64_t frame_ = UINT64_MAX;
    uint64_t status_ = UINT64_MAX;
    uint64_t setup_ = UINT64_MAX;
    uint64_t nextPrint_ = 0;
};

std::unique_ptr<live::EventStream> LivePage::newViewer()
{
    return std::make_unique<Viewer>(*this);
}

LivePage::LivePage(const std::string &bindAddress, uint16_t port, RouterConsole console)
    : LivePage(Options{bindAddress, port, {}}, std::move(console))
{
}

LivePage::LivePage(const Options &options, RouterConsole console)
    : console_(std::move(console)),
      server_(std::make_unique<live::HttpServer>(options.bindAddress, options.port, options.extraHosts))
{
    route();
    encoder_ = std::thread([this] { encodeFrames(); });
    server_->start();
}

LivePage::~LivePage()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    framed_.notify_all();
    server_.reset();
    encoder_.join();
}

uint16_t LivePage::port() const
{
    return server_->port();
}

std::string LivePage::url() const
{
    return "http://" + server_->hostNames().front() + "/";
}

void LivePage::changed()
{
    server_->wake();
}

// One encode per frame whatever the number of viewers, none while nobody
// watches, and only of what changed. A frame replaced before its turn is
// never encoded; one that changes nothing sends nothing.
void LivePage::encodeFrames()
{
    std::unique_lock lock(mutex_);
    while (true) {
        framed_.wait(lock, [&] { return stopping_ || (server_->viewers() > 0 && takenNumber_ != frameNumber_); });
        if (stopping_)
            return;
        Surface frame = frame_;
        uint64_t number = frameNumber_;
        takenNumber_ = number;
        lock.unlock();
        bool whole = false;
        std::string event = patches_.encode(frame, number, whole);
        lock.lock();
        if (event.empty())
            continue;
        patches_.commit(std::move(frame), number, whole, std::move(event));
        lock.unlock();
        changed();
        lock.lock();
    }
}

void LivePage::publishFrame(const Surface &frame, uint64_t number)
{
    {
        std::lock_guard lock(mutex_);
        frame_ = frame;
        frameNumber_ = number;
    }
    framed_.notify_all();
}

void LivePage::addPrint(std::string line)
{
    {
        std::lock_guard lock(mutex_);
        prints_.push_back(std::move(line));
        printTimes_.push_back(nowMs());
        if (prints_.size() > keptPrints) {
            prints_.pop_front();
            printTimes_.pop_front();
        }
        ++printCount_;
    }
    changed();
}

void LivePage::addJournal(const std::string &line)
{
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t seconds = system_clock::to_time_t(now);
    tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    size_t n = std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03d  ",
                  static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000));
    std::lock_guard lock(mutex_);
    // A long run keeps its latest part.
    if (journal_.size() + line.size() > keptJournalBytes)
        journal_.erase(0, journal_.find('\n', journal_.size() / 2) + 1);
    journal_ += stamp + line;
}

void LivePage::setStatus(std::string json)
{
    {
        std::lock_guard lock(mutex_);
        if (json == status_)
            return;
        status_ = std::move(json);
        ++statusVersion_;
    }
    changed();
}

void LivePage::setSetup(std::string json)
{
    {
        std::lock_guard lock(mutex_);
        setup_ = std::move(json);
        ++setupVersion_;
    }
    changed();
}

std::vector<uint32_t> LivePage::takeKeys()
{
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> out(keys_.begin(), keys_.end());
    keys_.clear();
    return out;
}

std::vector<PageControl> LivePage::takeControls()
{
    std::lock_guard lock(mutex_);
    std::vector<PageControl> out(controls_.begin(), controls_.end());
    controls_.clear();
    return out;
}

bool LivePage::pressKey(const std::string &nameOrCode)
{
    auto first = nameOrCode.find_first_not_of(" \t\r\n");
    auto last = nameOrCode.find_last_not_of(" \t\r\n");
    auto code = first == std::string::npos
                    ? std::nullopt
                    : remoteKeyCode(std::string_view(nameOrCode).substr(first, last - first + 1));
    std::lock_guard lock(mutex_);
    if (!code || keys_.size() >= maxWaitingKeys)
        return false;
    keys_.push_back(*code);
    return true;
}

std::vector<unsigned char> LivePage::framePng()
{
    Surface frame;
    {
        std::lock_guard lock(mutex_);
        if (patches_.haveWhole(frameNumber_) && !patches_.wholePng().empty())
            return patches_.wholePng();
        frame = frame_;
    }
    return encodePngQuickly(frame);
}

} // namespace sim
