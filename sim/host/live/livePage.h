// The browser page of live mode: the page's feed (pageFeed.h) served over
// HTTP, the TV screen pushed to every viewer as server-sent events and the
// page's requests taken on the server's thread. Frames are encoded on a
// thread of their own, only while somebody watches.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pageFeed.h"

namespace sim
{

namespace live
{
class HttpServer;
struct HttpRequest;
struct HttpResponse;
} // namespace live

class LivePage : public PageFeed
{
  public:
    struct Options {
        std::string bindAddress = "127.0.0.1";
        uint16_t port = 0;                   // 0: any free port
        std::vector<std::string> extraHosts; // further host names the page answers to
    };

    // Throws std::runtime_error when the address cannot be bound.
    LivePage(const std::string &bindAddress, uint16_t port, RouterConsole console = {});
    LivePage(const Options &options, RouterConsole console);
    ~LivePage() override;

    uint16_t port() const;
    // The address to open the page at.
    std::string url() const;

  private:
    void route();
    live::HttpResponse postRequest(const live::HttpRequest &req);
    live::HttpResponse journalRequest(const live::HttpRequest &req);
    live::HttpResponse frameRequest(const live::HttpRequest &req);
    void encodeFrames();
    void changed() override;
    void framePublished() override;

    std::condition_variable framed_; // the encoder has a frame to encode
    bool stopping_ = false;
    std::thread encoder_;
    std::unique_ptr<live::HttpServer> server_; // last: stopped first
};

} // namespace sim
