#include "httpServer.h"

#include <algorithm>
#include <stdexcept>

#include "httpServerImpl.h"

namespace sim::live
{

bool sameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y)); });
}

std::string HttpRequest::header(std::string_view name) const
{
    for (const auto &[key, value] : headers)
        if (sameName(key, name))
            return value;
    return "";
}

size_t HttpRequest::count(std::string_view name) const
{
    size_t n = 0;
    for (const auto &[key, value] : headers)
        n += sameName(key, name);
    return n;
}

HttpResponse HttpResponse::refusal(int status, const std::string &why)
{
    HttpResponse res;
    res.status = status;
    res.body = why + "\n";
    return res;
}

void HttpServer::Impl::accept()
{
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (ec) {
            // Out of descriptors, most likely: try again in a moment
            // rather than spin.
            acceptPause.expires_after(std::chrono::milliseconds(100));
            acceptPause.async_wait([this](beast::error_code ec) {
                if (!ec)
                    accept();
            });
            return;
        }
        if (connections < HttpServer::maxConnections)
            serve(*this, std::move(socket));
        accept();
    });
}

HttpServer::HttpServer(const std::string &bindAddress, uint16_t port, std::vector<std::string> extraHosts)
    : impl_(std::make_shared<Impl>())
{
    beast::error_code ec;
    auto address = asio::ip::make_address(bindAddress, ec);
    if (ec)
        throw std::runtime_error("cannot serve the page on " + bindAddress + ": not an IP address");
    tcp::endpoint at{address, port};
    auto &acceptor = impl_->acceptor;
    acceptor.open(at.protocol(), ec);
    if (!ec)
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(at, ec);
    if (!ec)
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        throw std::runtime_error("cannot serve the page on " + bindAddress + ":" + std::to_string(port) + ": " +
                                 ec.message());
    impl_->port = acceptor.local_endpoint().port();
    std::string suffix = ":" + std::to_string(impl_->port);
    std::string shown = address.is_v6() ? "[" + bindAddress + "]" : bindAddress;
    if (address.is_unspecified())
        shown = "localhost";
    auto &hosts = impl_->hosts;
    for (const std::string &name : {shown, std::string("localhost"), std::string("127.0.0.1"), std::string("[::1]")})
        if (std::find(hosts.begin(), hosts.end(), name + suffix) == hosts.end())
            hosts.push_back(name + suffix);
    for (const std::string &name : extraHosts)
        hosts.push_back(name + suffix);
}

HttpServer::~HttpServer()
{
    Impl &impl = *impl_;
    if (impl.thread.joinable()) {
        asio::post(impl.io, [&impl] {
            beast::error_code ignored;
            impl.acceptor.close(ignored);
            impl.acceptPause.cancel();
            for (Connection *viewer : std::vector<Connection *>(impl.viewers.begin(), impl.viewers.end()))
                close(viewer);
        });
        // Connections still reading or writing end with the context.
        impl.io.stop();
        impl.thread.join();
    }
}

void HttpServer::get(const std::string &path, Handler handler)
{
    impl_->routes.push_back({"GET", path, std::move(handler)});
}

void HttpServer::post(const std::string &path, Handler handler)
{
    impl_->routes.push_back({"POST", path, std::move(handler)});
}

void HttpServer::events(const std::string &path, StreamFactory factory)
{
    impl_->eventsPath = path;
    impl_->streamFactory = std::move(factory);
    impl_->routes.push_back({"GET", path, nullptr});
}

void HttpServer::start()
{
    impl_->accept();
    impl_->thread = std::thread([impl = impl_.get()] { impl->io.run(); });
}

uint16_t HttpServer::port() const
{
    return impl_->port;
}

const std::vector<std::string> &HttpServer::hostNames() const
{
    return impl_->hosts;
}

void HttpServer::wake()
{
    asio::post(impl_->io, [impl = impl_.get()] {
        for (Connection *viewer : std::vector<Connection *>(impl->viewers.begin(), impl->viewers.end()))
            pump(viewer);
    });
}

size_t HttpServer::viewers() const
{
    return impl_->viewerCount;
}

} // namespace sim::live
