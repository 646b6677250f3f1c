#include "livePage.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "guardedServer.h"
#include "pngFile.h"
#include "remote.h"

namespace sim
{

namespace
{

using Json = nlohmann::json;

constexpr size_t maxWaitingKeys = 64;
constexpr size_t maxWaitingControls = 8;
// A comment line this often is all that travels while nothing changes; it
// lets the server notice a viewer that has gone and give its thread back.
constexpr auto heartbeat = std::chrono::seconds(30);

// Debug lines are Latin-1; JSON wants UTF-8 with control bytes escaped.
std::string jsonString(std::string_view latin1)
{
    std::string out = "\"";
    for (unsigned char c : latin1) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out + "\"";
}

std::string base64(const std::vector<unsigned char> &bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        out += digits[v >> 18];
        out += digits[v >> 12 & 63];
        out += digits[v >> 6 & 63];
        out += digits[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = bytes[i] << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        out += digits[v >> 18];
        out += digits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

// The paths the page uses and the one method each takes.
struct Route {
    const char *path;
    const char *method;
};
constexpr Route routes[] = {
    {"/", "GET"},     {"/favicon.ico", "GET"}, {"/events", "GET"},   {"/frame.png", "GET"}, {"/journal.txt", "GET"},
    {"/key", "POST"}, {"/router", "POST"},     {"/control", "POST"},
};

void refuse(httplib::Response &res, int status, const std::string &why)
{
    res.status = status;
    // The rest of a refused request is never read, so the connection must not
    // carry another one.
    res.set_header("Connection", "close");
    res.set_content(why + "\n", "text/plain; charset=utf-8");
}

bool allDigits(const std::string &text)
{
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

// The body of a state-changing request as a JSON object; nothing for
// anything else.
std::optional<Json> bodyObject(const httplib::Request &req)
{
    Json body = Json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return std::nullopt;
    return body;
}

} // namespace

// What one viewer has been sent so far.
class ViewerStream
{
  public:
    bool started = false;
    uint64_t frame = UINT64_MAX;
    uint64_t status = UINT64_MAX;
    uint64_t setup = UINT64_MAX;
    uint64_t nextPrint = 0;
};

struct LivePage::Server {
    GuardedServer http;
    std::thread thread;
};

LivePage::LivePage(const std::string &bindAddress, uint16_t port, RouterConsole console)
    : server_(std::make_unique<Server>()), console_(std::move(console))
{
    GuardedServer &http = server_->http;
    // cpp-httplib's default also sets SO_REUSEPORT, which would let a second
    // simulator share the port and take half of the page's requests.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Viewers hold a thread each for their event stream; slow or idle clients
    // give theirs back after a second or two.
    http.new_task_queue = [] { return new httplib::ThreadPool(maxViewers + 16); };
    http.set_read_timeout(2, 0);
    http.set_write_timeout(5, 0);
    http.set_keep_alive_timeout(2);
    http.set_keep_alive_max_count(100);
    http.set_payload_max_length(maxBody);
    // A frame goes out as a chunk header, the event and the chunk's end in
    // separate writes: without this, Nagle's algorithm holds the last of them
    // until the browser's delayed acknowledgement, 40 ms later.
    http.set_tcp_nodelay(true);

    http.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        using httplib::Server;
        // A page on another site that got its own name to resolve to this
        // machine would otherwise be same-origin with us.
        auto host = req.get_header_value("Host");
        if (req.get_header_value_count("Host") != 1 ||
            std::find(std::begin(hostNames_), std::end(hostNames_), host) == std::end(hostNames_)) {
            refuse(res, 403, "this server answers only to " + hostNames_[0]);
            return Server::HandlerResponse::Handled;
        }
        size_t lengths = req.get_header_value_count("Content-Length");
        if (lengths > 1 || (lengths == 1 && !allDigits(req.get_header_value("Content-Length")))) {
            refuse(res, 400, "malformed Content-Length");
            return Server::HandlerResponse::Handled;
        }
        if (req.has_header("Transfer-Encoding")) {
            refuse(res, 400, "bodies need a Content-Length");
            return Server::HandlerResponse::Handled;
        }
        if (lengths == 1 && std::stoul(req.get_header_value("Content-Length")) > maxBody) {
            refuse(res, 413, "requests to this page are at most " + std::to_string(maxBody) + " bytes");
            return Server::HandlerResponse::Handled;
        }
        const Route *route = nullptr;
        for (const Route &r : routes)
            if (req.path == r.path)
                route = &r;
        if (!route) {
            refuse(res, 404, "no such page");
            return Server::HandlerResponse::Handled;
        }
        if (req.method != route->method) {
            res.set_header("Allow", route->method);
            refuse(res, 405, std::string("use ") + route->method);
            return Server::HandlerResponse::Handled;
        }
        if (req.method == "POST") {
            // A cross-site form or no-cors fetch can send neither this content
            // type nor a foreign Origin that we would take for our own.
            bool ownOrigin = !req.has_header("Origin") || req.get_header_value("Origin") == "http://" + host;
            bool json = req.get_header_value("Content-Type").rfind("application/json", 0) == 0;
            if (!ownOrigin || !json) {
                refuse(res, 403, "only the simulator's own page may do that");
                return Server::HandlerResponse::Handled;
            }
        }
        return Server::HandlerResponse::Unhandled;
    });

    http.Get("/", [](const httplib::Request &, httplib::Response &res) {
        res.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; style-src 'self' "
                                                  "'unsafe-inline'; script-src 'self' 'unsafe-inline'");
        res.set_header("X-Frame-Options", "DENY");
        res.set_content(livePageHtml, "text/html; charset=utf-8");
    });
    http.Get("/favicon.ico", [](const httplib::Request &, httplib::Response &res) {
        res.set_header("Cache-Control", "max-age=86400");
        res.set_content(livePageIcon, "image/svg+xml");
    });
    http.Get("/frame.png", [this](const httplib::Request &, httplib::Response &res) {
        auto png = framePng();
        res.set_header("Cache-Control", "no-store");
        res.set_content(std::string(png.begin(), png.end()), "image/png");
    });
    http.Get("/journal.txt", [this](const httplib::Request &, httplib::Response &res) {
        std::string text;
        {
            std::lock_guard lock(mutex_);
            text = journal_;
        }
        res.set_header("Content-Disposition", "attachment; filename=\"ringwatcher-journal.txt\"");
        res.set_content(text, "text/plain; charset=iso-8859-1");
    });
    http.Get("/events", [this](const httplib::Request &, httplib::Response &res) {
        {
            std::lock_guard lock(mutex_);
            if (viewers_ >= maxViewers) {
                refuse(res, 503, "too many viewers");
                return;
            }
            ++viewers_;
        }
        framed_.notify_all(); // the first viewer gets the current frame encoded
        res.set_header("Cache-Control", "no-store");
        auto viewer = std::make_shared<ViewerStream>();
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, viewer](size_t, httplib::DataSink &sink) {
                std::string data;
                {
                    std::unique_lock lock(mutex_);
                    auto pending = [&] {
                        return stopping_ || !viewer->started || viewer->frame != encodedNumber_ ||
                               viewer->status != statusVersion_ || viewer->setup != setupVersion_ ||
                               viewer->nextPrint != printCount_;
                    };
                    if (!changed_.wait_for(lock, heartbeat, pending)) {
                        lock.unlock();
                        return sink.write(": still here\n\n", 14);
                    }
                    if (stopping_)
                        return false;
                    if (!viewer->started)
                        data += "retry: 1000\n\n";
                    viewer->started = true;
                    if (viewer->setup != setupVersion_)
                        data += event("setup", setup_);
                    viewer->setup = setupVersion_;
                    if (viewer->status != statusVersion_)
                        data += event("status", status_);
                    viewer->status = statusVersion_;
                    uint64_t firstKept = printCount_ - prints_.size();
                    if (viewer->nextPrint != printCount_) {
                        std::string lines = "[";
                        for (uint64_t i = std::max(viewer->nextPrint, firstKept); i < printCount_; ++i)
                            lines += (lines.size() > 1 ? "," : "") + jsonString(prints_[i - firstKept]);
                        data += event("prints", lines + "]");
                    }
                    viewer->nextPrint = printCount_;
                    if (viewer->frame != encodedNumber_) {
                        // The shortest run of patches that brings this viewer up to date.
                        auto from = std::find_if(patches_.rbegin(), patches_.rend(),
                                                 [&](const Patch &p) { return p.whole || p.base == viewer->frame; });
                        if (from != patches_.rend()) {
                            for (auto p = from.base() - 1; p != patches_.end(); ++p)
                                data += p->event;
                            viewer->frame = encodedNumber_;
                        } else {
                            data += wholeScreenEvent(viewer->frame);
                        }
                    }
                }
                return data.empty() || sink.write(data.data(), data.size());
            },
            [this](bool) {
                std::lock_guard lock(mutex_);
                --viewers_;
            });
    });
    http.Post("/key", [this](const httplib::Request &req, httplib::Response &res) {
        auto body = bodyObject(req);
        std::string key = body && (*body)["key"].is_string() ? (*body)["key"].get<std::string>() : "";
        if (pressKey(key))
            res.status = 204;
        else
            refuse(res, 400, "unknown key code or too many keys waiting: \"" + key + "\"");
    });
    http.Post("/control", [this](const httplib::Request &req, httplib::Response &res) {
        auto body = bodyObject(req);
        std::string what = body && (*body)["do"].is_string() ? (*body)["do"].get<std::string>() : "";
        const std::pair<const char *, PageControl> names[] = {
            {"restart", PageControl::restart}, {"stop", PageControl::stop}, {"replay", PageControl::replay}};
        for (auto &[name, control] : names) {
            if (what != name)
                continue;
            std::lock_guard lock(mutex_);
            if (controls_.size() >= maxWaitingControls)
                break;
            controls_.push_back(control);
            res.status = 204;
            return;
        }
        refuse(res, 400, "no such control, or too many waiting: \"" + what + "\"");
    });
    http.Post("/router", [this](const httplib::Request &req, httplib::Response &res) {
        if (!console_) {
            refuse(res, 409, "the program is connected to an external router");
            return;
        }
        auto body = bodyObject(req);
        if (!body || !(*body)["command"].is_string()) {
            refuse(res, 400, "expected {\"command\": \"...\"}");
            return;
        }
        double after = (*body)["after"].is_number() ? (*body)["after"].get<double>() : 0;
        if (!(after >= 0 && after <= 3600)) {
            refuse(res, 400, "a command waits between 0 and 3600 seconds");
            return;
        }
        bool failed = false;
        std::string report = console_((*body)["command"].get<std::string>(), after, failed);
        res.status = failed ? 400 : 200;
        res.set_content(report + "\n", "text/plain; charset=utf-8");
    });

    int bound = port == 0 ? http.bind_to_any_port(bindAddress.c_str())
                          : (http.bind_to_port(bindAddress.c_str(), port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("cannot serve the page on " + bindAddress + ":" + std::to_string(port));
    port_ = static_cast<uint16_t>(bound);
    std::string suffix = ":" + std::to_string(port_);
    hostNames_[0] = bindAddress + suffix;
    hostNames_[1] = "localhost" + suffix;
    hostNames_[2] = (bindAddress == "::1" ? "[::1]" : "127.0.0.1") + suffix;

    encoder_ = std::thread([this] { encodeFrames(); });
    server_->thread = std::thread([this] { server_->http.listen_after_bind(); });
    // stop() only ends a server that has started listening.
    for (int i = 0; i < 5000 && !http.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LivePage::~LivePage()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    framed_.notify_all();
    server_->http.stop();
    if (server_->thread.joinable())
        server_->thread.join();
    encoder_.join();
}

std::string LivePage::event(const char *name, const std::string &data) const
{
    return std::string("event: ") + name + "\ndata: " + data + "\n\n";
}

namespace
{

// The smallest box holding every pixel in which `now` differs from `before`;
// the whole screen when their sizes differ, an empty box when nothing does.
struct Box {
    int x = 0, y = 0, w = 0, h = 0;
};
Box changedBox(const Surface &before, const Surface &now)
{
    if (before.width != now.width || before.height != now.height)
        return {0, 0, now.width, now.height};
    const size_t rowBytes = static_cast<size_t>(now.width) * sizeof(uint32_t);
    auto row = [&](const Surface &s, int y) { return s.pixels.data() + static_cast<size_t>(y) * s.width; };
    int top = 0;
    while (top < now.height && std::memcmp(row(before, top), row(now, top), rowBytes) == 0)
        ++top;
    if (top == now.height)
        return {};
    int bottom = now.height - 1;
    while (std::memcmp(row(before, bottom), row(now, bottom), rowBytes) == 0)
        --bottom;
    int left = now.width, right = -1;
    for (int y = top; y <= bottom; ++y) {
        const uint32_t *a = row(before, y), *b = row(now, y);
        for (int x = 0; x < left; ++x)
            if (a[x] != b[x]) {
                left = x;
                break;
            }
        for (int x = now.width - 1; x > right; --x)
            if (a[x] != b[x]) {
                right = x;
                break;
            }
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

Surface crop(const Surface &s, const Box &box)
{
    Surface out;
    out.width = box.w;
    out.height = box.h;
    out.pixels.resize(static_cast<size_t>(box.w) * box.h);
    for (int y = 0; y < box.h; ++y)
        std::memcpy(out.pixels.data() + static_cast<size_t>(y) * box.w,
                    s.pixels.data() + static_cast<size_t>(box.y + y) * s.width + box.x, box.w * sizeof(uint32_t));
    return out;
}

// A "frame" event's data: the frame's number, where the picture goes, and
// the picture as a base64 PNG.
std::string frameData(uint64_t number, const Box &box, const std::vector<unsigned char> &png)
{
    return std::to_string(number) + " " + std::to_string(box.x) + " " + std::to_string(box.y) + " " +
           std::to_string(box.w) + " " + std::to_string(box.h) + " " + base64(png);
}

} // namespace

// One encode per frame whatever the number of viewers, none while nobody
// watches, and only of what changed: a ring redraws the status bar, not the
// screen. A frame replaced before its turn is never encoded; one that
// changes nothing sends nothing.
void LivePage::encodeFrames()
{
    std::unique_lock lock(mutex_);
    while (true) {
        framed_.wait(lock, [&] { return stopping_ || (viewers_ > 0 && takenNumber_ != frameNumber_); });
        if (stopping_)
            return;
        Surface frame = frame_;
        uint64_t number = frameNumber_;
        takenNumber_ = number;
        lock.unlock();
        // Only this thread changes encoded_, so it may read it unlocked.
        Box box = changedBox(encoded_, frame);
        bool whole = box.w == frame.width && box.h == frame.height;
        std::string data;
        if (box.w > 0)
            data = frameData(number, box, encodePngQuickly(whole ? frame : crop(frame, box)));
        lock.lock();
        if (box.w == 0)
            continue;
        patches_.push_back({number, encodedNumber_, whole, event("frame", data)});
        if (patches_.size() > keptPatches)
            patches_.pop_front();
        encoded_ = std::move(frame);
        encodedNumber_ = number;
        changed_.notify_all();
    }
}

// The whole screen as the patches leave it, for a viewer without their
// base; encoded once per frame however many viewers ask. Called with the
// mutex held, which it gives up while encoding.
std::string LivePage::wholeScreenEvent(uint64_t &number)
{
    number = encodedNumber_;
    if (wholeNumber_ != number) {
        Surface screen = encoded_;
        mutex_.unlock();
        auto png = encodePngQuickly(screen);
        std::string data = event("frame", frameData(number, {0, 0, screen.width, screen.height}, png));
        mutex_.lock();
        // Another viewer may have been quicker, with this frame or a later one.
        if (wholeNumber_ == UINT64_MAX || wholeNumber_ < number) {
            wholeNumber_ = number;
            wholeEvent_ = std::move(data);
            wholePng_ = std::move(png);
        } else {
            return data;
        }
    }
    return wholeEvent_;
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
        if (prints_.size() > keptPrints)
            prints_.pop_front();
        ++printCount_;
    }
    changed_.notify_all();
}

void LivePage::addJournal(const std::string &line)
{
    std::lock_guard lock(mutex_);
    // A long run keeps its latest part.
    if (journal_.size() + line.size() > keptJournalBytes)
        journal_.erase(0, journal_.find('\n', journal_.size() / 2) + 1);
    journal_ += line;
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
    changed_.notify_all();
}

void LivePage::setSetup(std::string json)
{
    {
        std::lock_guard lock(mutex_);
        setup_ = std::move(json);
        ++setupVersion_;
    }
    changed_.notify_all();
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
        if (wholeNumber_ == frameNumber_ && !wholePng_.empty())
            return wholePng_;
        frame = frame_;
    }
    return encodePngQuickly(frame);
}

} // namespace sim
