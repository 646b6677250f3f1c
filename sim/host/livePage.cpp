#include "livePage.h"

#include <httplib.h>

#include <stdexcept>
#include <thread>

#include "pngFile.h"
#include "remote.h"

namespace sim
{

namespace
{

constexpr size_t maxWaitingKeys = 64;

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

} // namespace

struct LivePage::Server {
    httplib::Server http;
    std::thread thread;
};

LivePage::LivePage(const std::string &bindAddress, uint16_t port, RouterConsole console)
    : server_(std::make_unique<Server>()), console_(std::move(console))
{
    httplib::Server &http = server_->http;
    // cpp-httplib's default also sets SO_REUSEPORT, which would let a second
    // simulator share the port and take half of the page's requests.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http.Get("/", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(livePageHtml, "text/html; charset=utf-8");
    });
    http.Get("/frame.png", [this](const httplib::Request &, httplib::Response &res) {
        auto png = framePng();
        res.set_header("Cache-Control", "no-store");
        res.set_content(std::string(png.begin(), png.end()), "image/png");
    });
    http.Get("/state", [this](const httplib::Request &req, httplib::Response &res) {
        uint64_t since = 0;
        if (req.has_param("since"))
            since = std::strtoull(req.get_param_value("since").c_str(), nullptr, 10);
        res.set_header("Cache-Control", "no-store");
        res.set_content(stateJson(since), "application/json");
    });
    http.Post("/key", [this](const httplib::Request &req, httplib::Response &res) {
        if (pressKey(req.body)) {
            res.status = 204;
        } else {
            res.status = 400;
            res.set_content("unknown key or too many keys waiting: " + req.body + "\n", "text/plain");
        }
    });
    http.Post("/router", [this](const httplib::Request &req, httplib::Response &res) {
        if (!console_) {
            res.status = 404;
            res.set_content("the program is connected to an external router\n", "text/plain");
            return;
        }
        res.set_content(console_(req.body), "text/plain; charset=utf-8");
    });

    int bound = port == 0 ? http.bind_to_any_port(bindAddress.c_str())
                          : (http.bind_to_port(bindAddress.c_str(), port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("cannot serve the page on " + bindAddress + ":" + std::to_string(port));
    port_ = static_cast<uint16_t>(bound);
    server_->thread = std::thread([this] { server_->http.listen_after_bind(); });
    // stop() only ends a server that has started listening.
    for (int i = 0; i < 5000 && !http.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LivePage::~LivePage()
{
    server_->http.stop();
    if (server_->thread.joinable())
        server_->thread.join();
}

void LivePage::publishFrame(const Surface &frame, uint64_t number)
{
    std::lock_guard lock(mutex_);
    frame_ = frame;
    frameNumber_ = number;
}

void LivePage::addPrint(std::string line)
{
    std::lock_guard lock(mutex_);
    prints_.push_back(std::move(line));
    if (prints_.size() > keptPrints)
        prints_.pop_front();
    ++printCount_;
}

void LivePage::setEnded(std::string why)
{
    std::lock_guard lock(mutex_);
    ended_ = std::move(why);
}

std::vector<uint32_t> LivePage::takeKeys()
{
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> out(keys_.begin(), keys_.end());
    keys_.clear();
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

std::string LivePage::stateJson(uint64_t sincePrint) const
{
    std::lock_guard lock(mutex_);
    std::string out = "{\"frame\":" + std::to_string(frameNumber_) + ",\"router\":" + (console_ ? "true" : "false") +
                      ",\"ended\":" + jsonString(ended_) + ",\"prints\":[";
    uint64_t firstKept = printCount_ - prints_.size();
    bool comma = false;
    for (uint64_t i = std::max(sincePrint, firstKept); i < printCount_; ++i) {
        if (comma)
            out += ',';
        out += jsonString(prints_[i - firstKept]);
        comma = true;
    }
    return out + "],\"next\":" + std::to_string(printCount_) + "}";
}

std::vector<unsigned char> LivePage::framePng()
{
    Surface frame;
    uint64_t number;
    {
        std::lock_guard lock(mutex_);
        if (pngNumber_ == frameNumber_ && !png_.empty())
            return png_;
        frame = frame_;
        number = frameNumber_;
    }
    // Encoding takes milliseconds: done outside the lock, so the event
    // thread never waits for a browser.
    auto png = encodePng(frame);
    std::lock_guard lock(mutex_);
    png_ = png;
    pngNumber_ = number;
    return png;
}

} // namespace sim
