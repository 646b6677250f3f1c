#include "pageFeed.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>

#include "journalDrain.h"
#include "pngFile.h"
#include "remote.h"

namespace sim
{

namespace
{

using Json = nlohmann::json;

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

// The body of a state-changing request as a JSON object; nothing for
// anything else.
std::optional<Json> bodyObject(const std::string &body)
{
    Json parsed = Json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return std::nullopt;
    return parsed;
}

std::string textField(const std::optional<Json> &body, const char *name)
{
    return body && (*body)[name].is_string() ? (*body)[name].get<std::string>() : "";
}

} // namespace

// What one viewer has been sent so far; asked for what is new.
class PageFeed::Viewer : public live::EventStream
{
  public:
    explicit Viewer(PageFeed &feed) : feed_(feed) {}

    bool next(std::string &data) override
    {
        PageFeed &p = feed_;
        std::unique_lock lock(p.mutex_);
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
    PageFeed &feed_;
    bool started_ = false;
    uint64_t frame_ = UINT64_MAX;
    uint64_t status_ = UINT64_MAX;
    uint64_t setup_ = UINT64_MAX;
    uint64_t nextPrint_ = 0;
};

std::unique_ptr<live::EventStream> PageFeed::newViewer()
{
    return std::make_unique<Viewer>(*this);
}

// One encode per frame, and only of what changed. A frame replaced before
// its turn is never encoded; one that changes nothing sends nothing.
bool PageFeed::encodeLatest()
{
    std::unique_lock lock(mutex_);
    if (takenNumber_ == frameNumber_)
        return false;
    Surface frame = frame_;
    uint64_t number = frameNumber_;
    takenNumber_ = number;
    lock.unlock();
    bool whole = false;
    std::string event = patches_.encode(frame, number, whole);
    if (event.empty())
        return false;
    lock.lock();
    patches_.commit(std::move(frame), number, whole, std::move(event));
    lock.unlock();
    changed();
    return true;
}

void PageFeed::publishFrame(const Surface &frame, uint64_t number)
{
    {
        std::lock_guard lock(mutex_);
        frame_ = frame;
        frameNumber_ = number;
    }
    framePublished();
}

void PageFeed::addPrint(std::string line)
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

void PageFeed::addJournal(const std::string &line)
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

std::string PageFeed::journal() const
{
    std::lock_guard lock(mutex_);
    return journal_;
}

void PageFeed::setStatus(std::string json)
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

void PageFeed::setSetup(std::string json)
{
    {
        std::lock_guard lock(mutex_);
        setup_ = std::move(json);
        ++setupVersion_;
    }
    changed();
}

std::vector<uint32_t> PageFeed::takeKeys()
{
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> out(keys_.begin(), keys_.end());
    keys_.clear();
    return out;
}

std::vector<PageControl> PageFeed::takeControls()
{
    std::lock_guard lock(mutex_);
    std::vector<PageControl> out(controls_.begin(), controls_.end());
    controls_.clear();
    return out;
}

bool PageFeed::pressKey(const std::string &nameOrCode)
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

PageFeed::Answer PageFeed::post(const std::string &path, const std::string &body)
{
    if (path == "/key") {
        std::string key = textField(bodyObject(body), "key");
        if (!pressKey(key))
            return {400, "unknown key code or too many keys waiting: \"" + key + "\"", true};
        return {};
    }
    if (path == "/control") {
        std::string what = textField(bodyObject(body), "do");
        const std::pair<const char *, PageControl> names[] = {{"restart", PageControl::restart},
                                                              {"stop", PageControl::stop},
                                                              {"replay", PageControl::replay},
                                                              {"fill", PageControl::fill},
                                                              {"clear", PageControl::clear}};
        for (auto &[name, control] : names) {
            if (what != name)
                continue;
            std::lock_guard lock(mutex_);
            if (controls_.size() >= maxWaitingControls)
                break;
            controls_.push_back(control);
            return {};
        }
        return {400, "no such control, or too many waiting: \"" + what + "\"", true};
    }
    if (path == "/router")
        return routerCommand(body);
    return {404, "no such request: " + path, true};
}

PageFeed::Answer PageFeed::routerCommand(const std::string &text)
{
    if (!console_)
        return {409, "the program is connected to a real router", true};
    auto body = bodyObject(text);
    if (!body || !(*body)["command"].is_string())
        return {400, "expected {\"command\": \"...\"}", true};
    double after = (*body)["after"].is_number() ? (*body)["after"].get<double>() : 0;
    if (!(after >= 0 && after <= 3600))
        return {400, "a command waits between 0 and 3600 seconds", true};
    bool failed = false;
    std::string report = console_((*body)["command"].get<std::string>(), after, failed);
    return {failed ? 400 : 200, report + "\n"};
}

std::vector<unsigned char> PageFeed::framePng()
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
