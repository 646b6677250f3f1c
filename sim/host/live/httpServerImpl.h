// The page server's insides, shared by the server (httpServer.cpp) and its
// connections (httpConnection.cpp); nothing else includes this.
#pragma once

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "httpServer.h"

namespace sim::live
{

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

// Header names are compared without regard to case.
bool sameName(std::string_view a, std::string_view b);

struct Route {
    std::string method;
    std::string path;
    HttpServer::Handler handler;
};

class Connection;

struct HttpServer::Impl {
    // Declared before the I/O context: connections that it still holds when
    // it is destroyed reach these from their destructors.
    std::vector<Route> routes;
    std::string eventsPath;
    StreamFactory streamFactory;
    std::vector<std::string> hosts;
    uint16_t port = 0;
    std::set<Connection *> viewers; // on the server's thread only
    std::atomic<size_t> viewerCount{0};
    std::atomic<size_t> connections{0};

    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptPause{io};
    std::thread thread;

    void accept();
};

// A new connection, served from now on.
void serve(HttpServer::Impl &server, tcp::socket socket);
// Something changed: the viewer asks its stream for it.
void pump(Connection *viewer);
void close(Connection *viewer);

} // namespace sim::live
