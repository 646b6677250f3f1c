// The live page over real HTTP on loopback: keys are queued for the event
// thread, a viewer's event stream carries the setup, status, debug lines and
// the published frame, the router console is reached, and every request that
// is not the page's own is refused without changing anything.
#include <gtest/gtest.h>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <tuple>

#include "livePage.h"
#include "pngFile.h"

namespace
{

namespace fs = std::filesystem;

const httplib::Headers json = {{"Content-Type", "application/json"}};

TEST(LivePage, KeysFromThePageWaitForTheEventThreadInOrder)
{
    sim::LivePage page("127.0.0.1", 0);
    httplib::Client client("127.0.0.1", page.port());
    for (const char *key : {"action", "down", "0x10046", "65551", " up\\n"}) {
        auto res = client.Post("/key", json, "{\"key\":\"" + std::string(key) + "\"}", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 204) << key;
    }
    for (const char *bad : {R"({"key":""})", R"({"key":"red"})", R"({"key":"0x"})", R"({"key":99})", "[1]", "{"}) {
        auto res = client.Post("/key", json, bad, "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400) << bad;
    }
    EXPECT_EQ(page.takeKeys(), (std::vector<uint32_t>{0x10049, 0x1001D, 0x10046, 0x1000F, 0x10012}));
    EXPECT_TRUE(page.takeKeys().empty());
}

TEST(LivePage, TheKeyQueueIsBounded)
{
    sim::LivePage page("127.0.0.1", 0);
    int taken = 0;
    while (taken < 1000 && page.pressKey("up"))
        ++taken;
    EXPECT_GT(taken, 8);
    EXPECT_LT(taken, 1000);
    EXPECT_EQ(page.takeKeys().size(), static_cast<size_t>(taken));
    EXPECT_TRUE(page.pressKey("down"));
}

// Reads a viewer's event stream until `enough` says so or two seconds pass.
std::string readEvents(uint16_t port, const std::function<bool(const std::string &)> &enough)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(2, 0);
    std::string got;
    client.Get("/events", [&](const char *data, size_t length) {
        got.append(data, length);
        return !enough(got);
    });
    return got;
}

std::vector<unsigned char> unbase64(const std::string &text)
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<unsigned char> out;
    uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        auto v = digits.find(c);
        if (v == std::string::npos)
            break;
        bits = bits << 6 | static_cast<uint32_t>(v);
        if ((held += 6) >= 8)
            out.push_back(static_cast<unsigned char>(bits >> (held -= 8)));
    }
    return out;
}

std::optional<sim::Surface> decodePng(const std::vector<unsigned char> &bytes)
{
    char pattern[] = "/tmp/rw-page-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd == -1)
        return std::nullopt;
    close(fd);
    std::ofstream(pattern, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    auto picture = sim::readPng(pattern);
    fs::remove(pattern);
    return picture;
}

// A "frame" event's data: number, box and picture.
struct FramePatch {
    uint64_t number = 0;
    int x = 0, y = 0, w = 0, h = 0;
    std::optional<sim::Surface> picture;
};
std::vector<FramePatch> framePatches(const std::string &events)
{
    std::vector<FramePatch> out;
    for (size_t at = 0; (at = events.find("event: frame\ndata: ", at)) != std::string::npos;) {
        at += 19;
        auto end = events.find("\n\n", at);
        if (end == std::string::npos)
            break;
        std::istringstream fields(events.substr(at, end - at));
        FramePatch patch;
        std::string png;
        fields >> patch.number >> patch.x >> patch.y >> patch.w >> patch.h >> png;
        patch.picture = decodePng(unbase64(png));
        out.push_back(std::move(patch));
    }
    return out;
}

// The screen as a viewer draws it: each picture into its box, in order.
sim::Surface shown(const std::vector<FramePatch> &patches)
{
    sim::Surface screen;
    screen.width = 720;
    screen.height = 576;
    screen.pixels.resize(720 * 576);
    for (const FramePatch &p : patches) {
        if (!p.picture || p.picture->width != p.w || p.picture->height != p.h || p.x + p.w > 720 || p.y + p.h > 576)
            return {};
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x)
                screen.at(p.x + x, p.y + y) = p.picture->at(x, y);
    }
    return screen;
}

TEST(LivePage, AViewerGetsSetupStatusDebugLinesAndTheScreenThenOnlyWhatChanges)
{
    sim::LivePage page("127.0.0.1", 0);
    sim::Surface frame = sim::Osd::testPicture();
    page.publishFrame(frame, 1);
    frame.at(10, 10) = 0xFF123456;
    page.publishFrame(frame, 2);
    page.setSetup(R"({"actionKey":65609})");
    page.setStatus(R"({"running":true})");
    page.addPrint("Anruf f\374r \"Zuhause\"\n");
    page.addPrint("zwei\ttabs\\\n");

    // Once the viewer has the screen, a frame that changes a box.
    sim::Surface later = frame;
    for (int y = 100; y < 140; ++y)
        for (int x = 300; x < 302; ++x)
            later.at(x, y) = 0xFF00FF00;
    later.at(650, 120) = 0xFFFFFFFF;
    bool sentLater = false;
    std::string events = readEvents(page.port(), [&](const std::string &s) {
        size_t frames = framePatches(s).size();
        if (frames == 1 && !sentLater) {
            sentLater = true;
            page.publishFrame(later, 3);
        }
        return frames >= 2;
    });
    EXPECT_NE(events.find("event: setup\ndata: {\"actionKey\":65609}\n\n"), std::string::npos) << events.substr(0, 300);
    EXPECT_NE(events.find("event: status\ndata: {\"running\":true}\n\n"), std::string::npos);
    // Latin-1 turned into UTF-8, each line with the time it was printed.
    EXPECT_NE(events.find(",\"l\":\"Anruf f\303\274r \\\"Zuhause\\\"\\u000a\"},{\"t\":"), std::string::npos)
        << events.substr(0, 400);
    EXPECT_NE(events.find(R"(,"l":"zwei\u0009tabs\\\u000a"}])"), std::string::npos);

    auto patches = framePatches(events);
    ASSERT_EQ(patches.size(), 2u) << events.substr(0, 300);
    const FramePatch &screen = patches[0];
    EXPECT_EQ(screen.number, 2u) << "the latest frame, and only it";
    EXPECT_EQ(std::tie(screen.x, screen.y, screen.w, screen.h), std::make_tuple(0, 0, 720, 576));
    ASSERT_TRUE(screen.picture);
    EXPECT_EQ(screen.picture->pixels, frame.pixels);

    const FramePatch &change = patches[1];
    EXPECT_EQ(change.number, 3u);
    EXPECT_EQ(std::tie(change.x, change.y, change.w, change.h), std::make_tuple(300, 100, 351, 40));
    EXPECT_EQ(shown(patches).pixels, later.pixels);

    // A second viewer is brought to the screen as it is now.
    auto second = framePatches(readEvents(page.port(), [](const std::string &s) {
        auto got = framePatches(s);
        return !got.empty() && got.back().number == 3;
    }));
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(shown(second).pixels, later.pixels);
    auto saved = decodePng(page.framePng());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->pixels, later.pixels) << "the saved frame is the latest one";
}

TEST(LivePage, ADebugLineReachesAWatchingViewer)
{
    sim::LivePage page("127.0.0.1", 0);
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        page.addPrint("late line\n");
    });
    std::string events = readEvents(page.port(), [](const std::string &s) { return s.find("late line") != s.npos; });
    later.join();
    EXPECT_NE(events.find(R"(,"l":"late line\u000a"}])"), std::string::npos) << events;
}

std::string repeated(const std::string &text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST(LivePage, OnlyThePagesOwnWellFormedRequestsChangeAnything)
{
    sim::LivePage page("127.0.0.1", 0);
    std::string host = "127.0.0.1:" + std::to_string(page.port());
    std::string body = R"({"key":"action"})";
    struct Case {
        const char *what;
        std::string request;
        int status;
    };
    auto post = [&](const std::string &headers, const std::string &content = R"({"key":"action"})") {
        return "POST /key HTTP/1.1\r\n" + headers + "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" +
               content;
    };
    const std::string hostLine = "Host: " + host + "\r\n", jsonLine = "Content-Type: application/json\r\n";
    const Case cases[] = {
        {"the page's own request", post(hostLine + jsonLine + "Origin: http://" + host + "\r\n"), 204},
        {"a foreign Host (DNS rebinding)",
         post("Host: evil.example:" + std::to_string(page.port()) + "\r\n" + jsonLine), 403},
        {"no Host", post(jsonLine), 403},
        {"two Hosts", post(hostLine + hostLine + jsonLine), 403},
        {"another origin", post(hostLine + jsonLine + "Origin: http://evil.example\r\n"), 403},
        {"a form's or no-cors fetch's content type", post(hostLine + "Content-Type: text/plain\r\n"), 403},
        {"no content type", post(hostLine), 403},
        {"a wrong method", "GET /key HTTP/1.1\r\n" + hostLine + "\r\n", 405},
        {"an unknown path", "GET /state HTTP/1.1\r\n" + hostLine + "\r\n", 404},
        {"two Content-Lengths",
         "POST /key HTTP/1.1\r\n" + hostLine + jsonLine + "Content-Length: 16\r\nContent-Length: 16\r\n\r\n" + body,
         400},
        {"a negative Content-Length",
         "POST /key HTTP/1.1\r\n" + hostLine + jsonLine + "Content-Length: -16\r\n\r\n" + body, 400},
        {"an overflowing Content-Length",
         "POST /key HTTP/1.1\r\n" + hostLine + jsonLine + "Content-Length: 18446744073709551632\r\n\r\n" + body, 400},
        {"a chunked body",
         "POST /key HTTP/1.1\r\n" + hostLine + jsonLine + "Transfer-Encoding: chunked\r\n\r\n10\r\n" + body +
             "\r\n0\r\n\r\n",
         400},
        {"a big body", "POST /key HTTP/1.1\r\n" + hostLine + jsonLine + "Content-Length: 100000000\r\n\r\n" + body,
         413},
        {"a body on a GET", "GET / HTTP/1.1\r\n" + hostLine + "Content-Length: 100000000\r\n\r\nxxxx", 413},
        {"a request line of 9000 bytes", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n" + hostLine + "\r\n", 431},
        {"header lines without end", "GET / HTTP/1.1\r\n" + hostLine + repeated("X-Filler: 0123456789\r\n", 600), 431},
    };
    for (const Case &c : cases) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(page.port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        ASSERT_EQ(::send(fd, c.request.data(), c.request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.request.size()));
        char answer[64] = {};
        timeval wait{3, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::recv(fd, answer, sizeof answer - 1, 0);
        ::close(fd);
        EXPECT_EQ(std::string(answer).substr(0, 12), "HTTP/1.1 " + std::to_string(c.status)) << c.what;
        EXPECT_EQ(page.takeKeys().size(), c.status == 204 ? 1u : 0u) << c.what;
    }
}

int connectTo(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    timeval wait{8, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

// Everything the server sends until it closes the connection (or 8 s pass).
std::string readToEnd(int fd)
{
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
        got.append(buf, n);
    return got;
}

int countOf(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        ++n;
    return n;
}

// A refused request ends its connection: whatever followed its head, even a
// whole request of the page's own making, is never served.
TEST(LivePage, ARefusedRequestEndsItsConnection)
{
    std::vector<std::string> heard;
    sim::LivePage page("127.0.0.1", 0, [&](const std::string &command, double, bool &) {
        heard.push_back(command);
        return std::string("sent");
    });
    std::string host = "127.0.0.1:" + std::to_string(page.port());
    auto request = [&](const std::string &path, const std::string &content) {
        return "POST " + path + " HTTP/1.1\r\nHost: " + host +
               "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(content.size()) + "\r\n\r\n" +
               content;
    };
    const std::string smuggled = request("/control", R"({"do":"stop"})") + request("/key", R"({"key":"action"})") +
                                 request("/router", R"({"command":"refuse 60"})");
    auto head = [&](const std::string &lines) { return "POST /key HTTP/1.1\r\nHost: " + host + "\r\n" + lines; };
    struct Case {
        const char *what;
        std::string request;
        const char *status;
    };
    const Case cases[] = {
        {"a text/plain post from another origin (form, beacon, no-cors fetch)",
         head("Origin: http://evil.example\r\nContent-Type: text/plain\r\nContent-Length: " +
              std::to_string(smuggled.size()) + "\r\n\r\n") +
             smuggled,
         "403"},
        {"a post from a local file (Origin: null)",
         head("Origin: null\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(smuggled.size()) +
              "\r\n\r\n") +
             smuggled,
         "403"},
        {"a malformed Content-Length", head("Content-Type: application/json\r\nContent-Length: -1\r\n\r\n") + smuggled,
         "400"},
        {"a chunked body", head("Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n") + smuggled,
         "400"},
        {"an unknown path",
         "POST /nothing HTTP/1.1\r\nHost: " + host +
             "\r\nContent-Type: application/json\r\n"
             "Content-Length: " +
             std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled,
         "404"},
    };
    for (const Case &c : cases) {
        int fd = connectTo(page.port());
        ASSERT_GE(fd, 0);
        ::send(fd, c.request.data(), c.request.size(), MSG_NOSIGNAL);
        std::string answer = readToEnd(fd);
        ::close(fd);
        EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << c.what;
        EXPECT_EQ(countOf(answer, "HTTP/1.1 "), 1) << c.what << ": " << answer;
        EXPECT_NE(answer.find("Connection: close"), std::string::npos) << c.what;
        EXPECT_EQ(answer.find("Keep-Alive"), std::string::npos) << c.what;
        EXPECT_TRUE(page.takeControls().empty()) << c.what;
        EXPECT_TRUE(page.takeKeys().empty()) << c.what;
        EXPECT_TRUE(heard.empty()) << c.what;
    }
    // The page's own requests on one connection are all served.
    int fd = connectTo(page.port());
    std::string own = request("/key", R"({"key":"up"})") + request("/key", R"({"key":"down"})");
    ::send(fd, own.data(), own.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(countOf(readToEnd(fd), "HTTP/1.1 204"), 2);
    ::close(fd);
    EXPECT_EQ(page.takeKeys().size(), 2u);
}

// Slow clients hold no thread and have deadlines; a viewer's slot is free
// the moment it leaves, and a page that finds none can tell why.
TEST(LivePage, SlowClientsAndViewersThatLeaveDoNotBlockThePage)
{
    sim::LivePage page("127.0.0.1", 0);
    std::string host = "127.0.0.1:" + std::to_string(page.port());
    std::vector<int> slow;
    for (int i = 0; i < 50; ++i) {
        int fd = connectTo(page.port());
        ASSERT_GE(fd, 0);
        std::string head =
            "POST /key HTTP/1.1\r\nHost: " + host + "\r\nContent-Type: application/json\r\nContent-Length: 16\r\n\r\n{";
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        slow.push_back(fd);
    }
    httplib::Client client("127.0.0.1", page.port());
    client.set_connection_timeout(1, 0);
    client.set_read_timeout(1, 0);
    auto res = client.Get("/");
    ASSERT_TRUE(res) << "the page must load beside 50 slow bodies";
    EXPECT_EQ(res->status, 200);
    // Their bodies never come: each connection ends by its deadline,
    // with nothing done.
    auto started = std::chrono::steady_clock::now();
    for (int fd : slow) {
        char byte;
        EXPECT_LE(::recv(fd, &byte, 1, 0), 0);
        ::close(fd);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(7));
    EXPECT_TRUE(page.takeKeys().empty());

    // Every viewer slot taken: the next stream is refused and /health says why.
    std::vector<int> viewers;
    for (int i = 0; i < 16; ++i) {
        int fd = connectTo(page.port());
        std::string get = "GET /events HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
        ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
        char buf[16];
        ASSERT_GT(::recv(fd, buf, sizeof buf, 0), 0);
        viewers.push_back(fd);
    }
    res = client.Get("/events");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 503);
    res = client.Get("/health");
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("\"viewers\":16"), std::string::npos) << res->body;
    // One viewer leaves: its slot is free within moments, not at the next write.
    ::close(viewers.back());
    viewers.pop_back();
    bool freed = false;
    for (int i = 0; i < 50 && !freed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        res = client.Get("/health");
        freed = res && res->body.find("\"viewers\":15") != std::string::npos;
    }
    EXPECT_TRUE(freed);
    for (int fd : viewers)
        ::close(fd);
}

TEST(LivePage, TheRouterConsoleAnswersOnlyWithAnInProcessRouter)
{
    sim::LivePage without("127.0.0.1", 0);
    httplib::Client a("127.0.0.1", without.port());
    auto res = a.Post("/router", json, R"({"command":"ring 0 1 2"})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 409);

    std::string heard;
    double waited = -1;
    sim::LivePage with("127.0.0.1", 0, [&](const std::string &command, double after, bool &failed) {
        heard = command;
        waited = after;
        failed = command == "fly";
        return std::string(failed ? "error: no" : "sent it");
    });
    httplib::Client b("127.0.0.1", with.port());
    res = b.Post("/router", json, R"({"command":"ring 0 1 2","after":2.5})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "sent it\n");
    EXPECT_EQ(heard, "ring 0 1 2");
    EXPECT_DOUBLE_EQ(waited, 2.5);
    for (const char *bad : {R"({"command":"fly"})", R"({"command":"x","after":-1})", R"({"after":1})"}) {
        res = b.Post("/router", json, bad, "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400) << bad;
    }
}

TEST(LivePage, ABusyPortIsAnError)
{
    sim::LivePage first("127.0.0.1", 0);
    EXPECT_THROW(sim::LivePage("127.0.0.1", first.port()), std::runtime_error);
}

} // namespace
