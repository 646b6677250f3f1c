// The live page's HTTP server (Boost.Beast on one thread of its own). It is
// a security boundary: any web site the user visits can make the browser
// send requests here, and any local process can connect. So:
// - it answers only to the host names it was given (no DNS rebinding);
// - a request that changes something (POST) must come from the page itself:
//   its own Origin or none, and a JSON body, which a cross-site form,
//   beacon or no-cors fetch cannot send;
// - a request's head must be at most `maxHead` bytes and arrive within
//   `headTime`; its body at most `maxBody` bytes within `bodyTime`;
// - every refused request ends its connection: its unread body is never
//   taken for a next request;
// - slow clients cost no thread, and a viewer's slot is freed the moment
//   its connection ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sim::live
{

struct HttpRequest {
    std::string method;
    std::string path; // without the query
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string header(std::string_view name) const; // "" when absent
    size_t count(std::string_view name) const;       // how often the header is given
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    // A refusal: the text says why; the connection ends after it.
    static HttpResponse refusal(int status, const std::string &why);
};

// One viewer's event stream. The server asks it for what to send whenever
// the page said something changed (wake()) and after each write; "" when
// there is nothing new, and false to end the stream.
class EventStream
{
  public:
    virtual ~EventStream() = default;
    virtual bool next(std::string &data) = 0;
};

class HttpServer
{
  public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;
    using StreamFactory = std::function<std::unique_ptr<EventStream>()>;

    static constexpr size_t maxHead = 8192;
    static constexpr size_t maxBody = 4096;
    static constexpr std::chrono::seconds headTime{5};
    static constexpr std::chrono::seconds bodyTime{5};
    static constexpr std::chrono::seconds idleTime{5};  // between requests on one connection
    static constexpr std::chrono::seconds writeTime{5}; // for one answer or one event
    static constexpr std::chrono::seconds heartbeat{30};
    static constexpr size_t maxConnections = 256;
    static constexpr size_t maxViewers = 16;

    // Binds at once (port 0: any free port); throws std::runtime_error when
    // it cannot. `extraHosts` are further names the Host header may carry
    // (with this port), for viewers elsewhere on the home network.
    HttpServer(const std::string &bindAddress, uint16_t port, std::vector<std::string> extraHosts = {});
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Routes are set before start().
    void get(const std::string &path, Handler handler);
    void post(const std::string &path, Handler handler);
    void events(const std::string &path, StreamFactory factory);
    void start();

    uint16_t port() const;
    // The host names requests may carry, the first the one to show.
    const std::vector<std::string> &hostNames() const;
    // Something changed: every viewer that is not writing asks its stream.
    void wake();
    size_t viewers() const;

    struct Impl; // in httpServer.cpp, with the connections that reach it

  private:
    std::shared_ptr<Impl> impl_;
};

} // namespace sim::live
