// The fake call-monitor service: listening socket, clients, and the writes that the tests and the
// simulator's scenarios drive one at a time.
#include "fakerouter/fakeRouter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <system_error>
#include <thread>
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

} // namespace

std::string routerTimestamp(std::time_t when)
{
    std::tm local{};
    char text[32];
    if (localtime_r(&when, &local) == nullptr || std::strftime(text, sizeof text, "%d.%m.%y %H:%M:%S", &local) == 0)
        return "00.00.00 00:00:00";
    return text;
}

bool startsWithTimestamp(std::string_view line)
{
    static constexpr std::string_view shape = "dd.dd.dd dd:dd:dd;";
    if (line.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i])
            return false;
    }
    return true;
}

std::string ringFields(int id, std::string_view caller, std::string_view own, std::string_view line)
{
    return "RING;" + std::to_string(id) + ";" + std::string(caller) + ";" + std::string(own) + ";" + std::string(line) +
           ";";
}

std::string callFields(int id, int extension, std::string_view own, std::string_view called, std::string_view line)
{
    return "CALL;" + std::to_string(id) + ";" + std::to_string(extension) + ";" + std::string(own) + ";" +
           std::string(called) + ";" + std::string(line) + ";";
}

std::string connectFields(int id, int extension, std::string_view number)
{
    return "CONNECT;" + std::to_string(id) + ";" + std::to_string(extension) + ";" + std::string(number) + ";";
}

std::string disconnectFields(int id, long seconds)
{
    return "DISCONNECT;" + std::to_string(id) + ";" + std::to_string(seconds) + ";";
}

std::string floodPayload(std::size_t bytes, std::string_view timestamp)
{
    // Written with snprintf rather than the field builders: tests flood megabytes, and this is the cost.
    std::string stamp(timestamp);
    std::string payload;
    payload.reserve(bytes + 128);
    char line[128];
    for (std::size_t n = 0; payload.size() < bytes; ++n) {
        std::size_t callNo = n / 3;
        int id = static_cast<int>(callNo % 8);
        std::size_t caller = callNo % 1000000;
        int length = n % 3 == 0   ? std::snprintf(line, sizeof line, ";RING;%d;0301%06zu;5550001;SIP0;\r\n", id, caller)
                     : n % 3 == 1 ? std::snprintf(line, sizeof line, ";CONNECT;%d;4;0301%06zu;\r\n", id, caller)
                                  : std::snprintf(line, sizeof line, ";DISCONNECT;%d;%zu;\r\n", id, callNo % 600);
        payload.append(stamp).append(line, static_cast<std::size_t>(length));
    }
    return payload;
}

FakeRouter::FakeRouter(std::uint16_t port, std::string bindAddress)
    : port_(port), bindAddress_(std::move(bindAddress)), clock_([] { return std::time(nullptr); })
{
    listen();
}

FakeRouter::~FakeRouter()
{
    for (int fd : clients_)
        ::close(fd);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

void FakeRouter::listen()
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

bool FakeRouter::acceptPending(std::chrono::milliseconds wait)
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
void FakeRouter::dropDeparted()
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

void FakeRouter::setClock(std::function<std::time_t()> clock)
{
    clock_ = std::move(clock);
}

std::size_t FakeRouter::writeToClients(std::string_view bytes, std::chrono::milliseconds deadline)
{
    bytesOffered_ += bytes.size();
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

bool FakeRouter::send(std::string_view rawBytes)
{
    acceptPending();
    if (silent_)
        return false;
    return writeToClients(rawBytes, writeTimeout_) == rawBytes.size();
}

std::string FakeRouter::stampedLine(std::string_view fieldsAfterTimestamp) const
{
    return routerTimestamp(clock_()) + ";" + std::string(fieldsAfterTimestamp) + "\r\n";
}

std::string FakeRouter::sendLine(std::string_view fieldsAfterTimestamp)
{
    std::string line = stampedLine(fieldsAfterTimestamp);
    send(line);
    return line;
}

std::string FakeRouter::ring(int id, std::string_view caller, std::string_view own, std::string_view line)
{
    return sendLine(ringFields(id, caller, own, line));
}

std::string FakeRouter::call(int id, int extension, std::string_view own, std::string_view called,
                             std::string_view line)
{
    return sendLine(callFields(id, extension, own, called, line));
}

std::string FakeRouter::connect(int id, int extension, std::string_view number)
{
    return sendLine(connectFields(id, extension, number));
}

std::string FakeRouter::disconnect(int id, long seconds)
{
    return sendLine(disconnectFields(id, seconds));
}

void FakeRouter::closeClient(int fd, bool reset)
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

void FakeRouter::closeClients()
{
    acceptPending();
    for (int fd : clients_)
        closeClient(fd, false);
    clients_.clear();
}

void FakeRouter::resetClients()
{
    acceptPending();
    for (int fd : clients_)
        closeClient(fd, true);
    clients_.clear();
}

void FakeRouter::setRefusing(bool refusing)
{
    if (refusing && listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    } else if (!refusing && listenFd_ < 0) {
        listen();
    }
}

std::string FakeRouter::stall(std::string_view bytes, std::size_t bytesBefore)
{
    std::size_t cut = std::min(bytesBefore == std::string::npos ? bytes.size() / 2 : bytesBefore, bytes.size());
    stalled_ = bytes.substr(cut);
    std::string before(bytes.substr(0, cut));
    send(before);
    return before;
}

std::string FakeRouter::resume()
{
    std::string rest = std::move(stalled_);
    stalled_.clear();
    send(rest);
    return rest;
}

bool FakeRouter::drip(std::string_view bytes, std::chrono::milliseconds delay)
{
    bool complete = true;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            std::this_thread::sleep_for(delay);
        complete = send(bytes.substr(i, 1)) && complete;
    }
    return complete;
}

bool FakeRouter::sendNul()
{
    return send(std::string_view("\0", 1));
}

std::string FakeRouter::sendGarbage(std::size_t count, std::uint32_t seed)
{
    // mt19937's sequence is fixed by the standard, so a seed names the same bytes everywhere.
    std::mt19937 generator(seed);
    std::string garbage(count, '\0');
    for (char &byte : garbage)
        byte = static_cast<char>(generator() & 0xFF);
    send(garbage);
    return garbage;
}

std::size_t FakeRouter::flood(std::size_t bytes, std::chrono::milliseconds deadline)
{
    acceptPending();
    if (silent_ || clients_.empty())
        return 0;
    return writeToClients(floodPayload(bytes, routerTimestamp(clock_())), deadline);
}

} // namespace fakerouter
