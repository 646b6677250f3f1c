#include "livePage.h"

#include "httpServer.h"

namespace sim
{

LivePage::LivePage(const std::string &bindAddress, uint16_t port, RouterConsole console)
    : LivePage(Options{bindAddress, port, {}}, std::move(console))
{
}

LivePage::LivePage(const Options &options, RouterConsole console)
    : PageFeed(std::move(console)),
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

void LivePage::framePublished()
{
    framed_.notify_all();
}

// None while nobody watches.
void LivePage::encodeFrames()
{
    std::unique_lock lock(mutex_);
    while (true) {
        framed_.wait(lock, [&] { return stopping_ || (server_->viewers() > 0 && frameWaiting()); });
        if (stopping_)
            return;
        lock.unlock();
        encodeLatest();
        lock.lock();
    }
}

} // namespace sim
