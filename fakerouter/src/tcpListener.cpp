// The fake router's real transport: a listening socket and its clients, every operation finished when
// it returns.
#include "fakerouter/transport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace fakerouter
{
namespace
{

using Clock = std::chrono::steady_clock;

[[noreturn]] void throwErrno(const std::string &what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

int pollMs(Clock::time_point until)
{
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

void discardInput(int fd)
{
    char sink[4096];
    while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

void closeClient(int fd, bool reset)
{
    if (reset) {
        linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
        // Unread input at close() makes Linux send RST instead of FIN.
        discardInput(fd);
        ::shutdown(fd, SHUT_WR);
    }
    ::close(fd);
}

} // namespace

TcpListener::TcpListener(std::uint16_t port, std::string bindAddress)
    : port_(port), bindAddress_(std::move(bindAddress))
{
    listen();
}

TcpListener::~TcpListener()
{
    for (int fd : clients_)
        ::close(fd);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

void TcpListener::listen()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    if (inet_pton(AF_INET, bindAddress_.c_str(), &address.sin_addr) != 1)
        throw std::invalid_argument("not a dotted IPv4 address: " + bindAddress_);

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throwErrno("socket");
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    std::string where = bindAddress_ + ":" + std::to_string(port_);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        throwErrno("cannot listen on " + where);
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
    listenFd_ = fd;
}

bool TcpListener::acceptPending(std::chrono::milliseconds wait)
{
    dropDeparted();
    if (listenFd_ < 0)
        return false;
    auto until = Clock::now() + wait;
    pollfd waiting{listenFd_, POLLIN, 0};
    while (::poll(&waiting, 1, pollMs(until)) < 0 && errno == EINTR) {
    }
    bool accepted = false;
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        clients_.push_back(fd);
        accepted = true;
    }
    return accepted;
}

// The router never reads what clients send; a client that sent its FIN or failed is let go here.
void TcpListener::dropDeparted()
{
    std::vector<pollfd> watch;
    for (int fd : clients_)
        watch.push_back({fd, POLLIN | POLLRDHUP, 0});
    if (watch.empty() || ::poll(watch.data(), watch.size(), 0) <= 0)
        return;
    std::vector<int> staying;
    for (const pollfd &p : watch) {
        if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
            ::close(p.fd);
            continue;
        }
        if (p.revents & POLLIN)
            discardInput(p.fd);
        staying.push_back(p.fd);
    }
    clients_ = std::move(staying);
}

std::size_t TcpListener::write(std::string_view bytes, std::chrono::milliseconds deadline)
{
    auto until = Clock::now() + deadline;
    std::vector<std::size_t> done(clients_.size(), 0);
    std::vector<bool> failed(clients_.size(), false);
    for (;;) {
        std::vector<pollfd> blocked;
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            while (!failed[i] && done[i] < bytes.size()) {
                ssize_t n = ::send(clients_[i], bytes.data() + done[i], bytes.size() - done[i], MSG_NOSIGNAL);
                if (n > 0) {
                    done[i] += static_cast<std::size_t>(n);
                } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    blocked.push_back({clients_[i], POLLOUT, 0});
                    break;
                } else if (n == 0 || errno != EINTR) {
                    failed[i] = true;
                }
            }
        }
        if (blocked.empty() || Clock::now() >= until)
            break;
        if (::poll(blocked.data(), blocked.size(), pollMs(until)) < 0 && errno != EINTR)
            break;
    }
    std::size_t slowest = bytes.size();
    std::vector<int> staying;
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        slowest = std::min(slowest, done[i]);
        if (failed[i])
            ::close(clients_[i]);
        else
            staying.push_back(clients_[i]);
    }
    clients_ = std::move(staying);
    return slowest;
}

void TcpListener::closeAll(bool reset)
{
    acceptPending(std::chrono::milliseconds{0});
    for (int fd : clients_)
        closeClient(fd, reset);
    clients_.clear();
}

void TcpListener::closeClients()
{
    closeAll(false);
}

void TcpListener::resetClients()
{
    closeAll(true);
}

void TcpListener::setRefusing(bool refusing)
{
    if (refusing && listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    } else if (!refusing && listenFd_ < 0) {
        listen();
    }
}

} // namespace fakerouter
