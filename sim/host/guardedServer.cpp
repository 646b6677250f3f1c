#include "guardedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace sim
{

namespace
{

using SteadyClock = std::chrono::steady_clock;

// Waits until the socket can be read (or written); false on timeout or error.
bool waitFor(socket_t sock, short events, std::chrono::milliseconds timeout)
{
    pollfd p{sock, events, 0};
    int n;
    do {
        n = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, timeout.count())));
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (events | POLLHUP | POLLERR)) != 0;
}

// The socket's address at one end, from getpeername or getsockname.
void addressOf(socket_t sock, int (*end)(int, sockaddr *, socklen_t *), std::string &ip, int &port)
{
    sockaddr_storage addr{};
    socklen_t length = sizeof addr;
    if (end(sock, reinterpret_cast<sockaddr *>(&addr), &length) != 0)
        return;
    char text[INET6_ADDRSTRLEN] = "";
    if (addr.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(addr);
        ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        port = ntohs(in.sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(addr);
        ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        port = ntohs(in6.sin6_port);
    }
    ip = text;
}

// The connection as the library reads and writes it: buffered like its own
// socket stream, and counting each request's head until its empty line.
class HeadLimitedStream : public httplib::Stream
{
  public:
    HeadLimitedStream(socket_t sock, std::chrono::milliseconds readTimeout, std::chrono::milliseconds writeTimeout)
        : sock_(sock), readTimeout_(readTimeout), writeTimeout_(writeTimeout)
    {
    }

    // A new request starts with the next byte.
    void startRequest()
    {
        headBytes_ = 0;
        lineEnds_ = 0;
        sawText_ = false;
        inHead_ = true;
        headStarted_ = false;
    }
    bool overLimit() const { return overLimit_; }
    // Bytes of a next request already read (a client that sends requests
    // without waiting for the answers).
    bool buffered() const { return pos_ < end_; }

    bool is_readable() const override { return buffered() || waitFor(sock_, POLLIN, readWait()); }
    bool is_writable() const override { return !overLimit_ && waitFor(sock_, POLLOUT, writeTimeout_); }

    ssize_t read(char *ptr, size_t size) override
    {
        if (overLimit_ || size == 0)
            return -1;
        if (pos_ == end_) {
            if (!waitFor(sock_, POLLIN, readWait()))
                return fail();
            ssize_t n;
            do {
                n = ::recv(sock_, buffer_, sizeof buffer_, 0);
            } while (n < 0 && errno == EINTR);
            if (n <= 0)
                return n;
            pos_ = 0;
            end_ = static_cast<size_t>(n);
        }
        size_t n = std::min(size, end_ - pos_);
        if (inHead_ && !count(buffer_ + pos_, n))
            return fail();
        std::memcpy(ptr, buffer_ + pos_, n);
        pos_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        // Whatever the library answers to a head it could not finish reading
        // goes nowhere: the 431 is sent instead.
        if (overLimit_)
            return static_cast<ssize_t>(size);
        if (!waitFor(sock_, POLLOUT, writeTimeout_))
            return -1;
        ssize_t n;
        do {
            n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        addressOf(sock_, ::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override { addressOf(sock_, ::getsockname, ip, port); }
    socket_t socket() const override { return sock_; }

  private:
    // Counts the bytes of a head handed on; false once it is too long. The
    // library reads a head a byte at a time, so what passes through here
    // ends exactly at its empty line.
    bool count(const char *bytes, size_t &n)
    {
        if (!headStarted_) {
            headStarted_ = true;
            headDeadline_ = SteadyClock::now() + GuardedServer::headTime;
        }
        for (size_t i = 0; i < n; ++i) {
            if (++headBytes_ > GuardedServer::maxHead)
                return false;
            // The head ends at the first empty line after one that is not:
            // empty lines before the request line do not end it.
            char c = bytes[i];
            if (c == '\n') {
                ++lineEnds_;
            } else if (c != '\r') {
                lineEnds_ = 0;
                sawText_ = true;
            }
            if (lineEnds_ >= 2 && sawText_) {
                inHead_ = false;
                n = i + 1;
                break;
            }
        }
        return true;
    }
    // How long a read may wait: within a head until the head's deadline,
    // otherwise the read timeout.
    std::chrono::milliseconds readWait() const
    {
        if (!inHead_ || !headStarted_)
            return readTimeout_;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(headDeadline_ - SteadyClock::now());
        return std::max(std::chrono::milliseconds(0), left);
    }
    ssize_t fail()
    {
        if (inHead_ && headStarted_)
            overLimit_ = true;
        return -1;
    }
    socket_t sock_;
    std::chrono::milliseconds readTimeout_, writeTimeout_;
    char buffer_[4096];
    size_t pos_ = 0, end_ = 0;
    size_t headBytes_ = 0;
    int lineEnds_ = 0;
    bool sawText_ = false;
    bool inHead_ = true;
    bool headStarted_ = false;
    bool overLimit_ = false;
    SteadyClock::time_point headDeadline_;
};

} // namespace

// The library's own connection loop (keep-alive up to its count and timeout,
// ending when the server stops), on the stream above.
bool GuardedServer::process_and_close_socket(socket_t sock)
{
    using std::chrono::milliseconds;
    auto ms = [](time_t sec, time_t usec) { return milliseconds(sec * 1000 + usec / 1000); };
    HeadLimitedStream stream(sock, ms(read_timeout_sec_, read_timeout_usec_),
                             ms(write_timeout_sec_, write_timeout_usec_));
    bool ok = false;
    for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
        // Waiting for the next request, a stopping server is noticed within
        // a tenth of a second.
        auto until = SteadyClock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        bool readable = stream.buffered();
        while (!readable && svr_sock_ != INVALID_SOCKET && SteadyClock::now() < until)
            readable = waitFor(sock, POLLIN, milliseconds(100));
        if (!readable || svr_sock_ == INVALID_SOCKET)
            break;
        stream.startRequest();
        bool closed = false;
        ok = process_request(stream, left == 1, closed, nullptr);
        if (stream.overLimit()) {
            const std::string why = "a request's head must be at most " + std::to_string(maxHead) +
                                    " bytes and arrive within " + std::to_string(headTime.count()) + " s\n";
            const std::string refused = "HTTP/1.1 431 Request Header Fields Too Large\r\n"
                                        "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                                        std::to_string(why.size()) + "\r\nConnection: close\r\n\r\n" + why;
            ::send(sock, refused.data(), refused.size(), MSG_NOSIGNAL);
            // Closing with the rest of the head unread would reset the
            // connection and could take the answer with it: the rest is read
            // and dropped for a moment first.
            ::shutdown(sock, SHUT_WR);
            auto drainUntil = SteadyClock::now() + milliseconds(500);
            char rest[4096];
            while (SteadyClock::now() < drainUntil && waitFor(sock, POLLIN, milliseconds(100)) &&
                   ::recv(sock, rest, sizeof rest, 0) > 0) {
            }
            ok = false;
            break;
        }
        if (!ok || closed)
            break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}

} // namespace sim
