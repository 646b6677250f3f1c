#include "network.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "firmware.h"

namespace sim
{

Network &network()
{
    static Network instance;
    return instance;
}

void Network::setRouter(std::string hostName, uint16_t port, std::string address)
{
    routerHost_ = std::move(hostName);
    routerPort_ = port;
    routerAddress_ = std::move(address);
}

namespace
{
thread_local int programDepth = 0;
#ifdef SO_SNDTIMEO_OLD
constexpr int sendTimeoutOption = SO_SNDTIMEO_OLD;
#else
constexpr int sendTimeoutOption = SO_SNDTIMEO;
#endif
} // namespace

void Network::enterProgram()
{
    if (programDepth++ == 0)
        programThread_ = static_cast<unsigned long>(pthread_self());
}

void Network::leaveProgram()
{
    if (programDepth > 0 && --programDepth == 0)
        programThread_ = 0;
}

bool Network::inProgram() const
{
    return programDepth > 0 && programThread_ == static_cast<unsigned long>(pthread_self());
}

void Network::reset()
{
    faults = {};
    memory_.reset();
    std::lock_guard lock(mutex_);
    programSockets_.clear();
    options_.clear();
    orphans_.clear();
    vanished_ = false;
    facts_ = {};
    routerSocket_ = -1;
    routerEndKnown_ = false;
}

void Network::setTransport(Transport transport)
{
    transport_ = transport;
    memory_.reset();
}

namespace
{
// As long as the program's own rule for a connection that proved its
// settings right.
constexpr uint32_t provenConnectionTicks = 6000;
} // namespace

void Network::forgetRouterFacts()
{
    std::lock_guard lock(mutex_);
    facts_ = {};
    routerSocket_ = -1;
    routerEndKnown_ = false;
}

RouterSocketFacts Network::routerFacts() const
{
    uint32_t now = firmware().clock.tick();
    std::lock_guard lock(mutex_);
    RouterSocketFacts f = facts_;
    if (f.connected && now - f.connectedSince >= provenConnectionTicks)
        f.attempts = 0;
    return f;
}

void Network::noteConnect(int fd, int result, int error)
{
    std::lock_guard lock(mutex_);
    if (!programSockets_.count(fd))
        return;
    uint32_t now = firmware().clock.tick();
    ++facts_.attempts;
    if (result == 0) {
        facts_.connected = true;
        facts_.connectedSince = now;
        routerSocket_ = fd;
        routerEndKnown_ = false;
    } else {
        facts_.lastEnd = error == ECONNREFUSED ? ConnectionEnd::Refused : ConnectionEnd::NoAnswer;
        facts_.failedAttemptTick = now;
        facts_.anyFailedAttempt = true;
    }
}

void Network::noteReceive(int fd, long result, int error)
{
    if (result > 0 || (result < 0 && error == EAGAIN))
        return;
    std::lock_guard lock(mutex_);
    if (fd != routerSocket_ || routerEndKnown_)
        return;
    if (result == 0)
        facts_.lastEnd = ConnectionEnd::ByRouter;
    else if (error == ECONNRESET)
        facts_.lastEnd = ConnectionEnd::Reset;
    else if (error == ETIMEDOUT)
        facts_.lastEnd = ConnectionEnd::NoAnswer;
    else
        return;
    routerEndKnown_ = true;
}

void Network::noteClose(int fd)
{
    std::lock_guard lock(mutex_);
    if (fd != routerSocket_) // other threads' sockets end here
        return;
    uint32_t now = firmware().clock.tick();
    if (!routerEndKnown_)
        facts_.lastEnd = ConnectionEnd::ByProgram;
    if (now - facts_.connectedSince >= provenConnectionTicks)
        facts_.attempts = 0;
    facts_.connected = false;
    routerSocket_ = -1;
}

void Network::setRouterVanished(bool vanished)
{
    uint32_t now = firmware().clock.tick();
    std::lock_guard lock(mutex_);
    if (vanished && !vanished_)
        for (int fd : programSockets_)
            orphans_.try_emplace(fd, Orphan{now});
    vanished_ = vanished;
}

bool Network::routerVanished() const
{
    std::lock_guard lock(mutex_);
    return vanished_;
}

SocketOptions Network::socketOptions(int fd) const
{
    std::lock_guard lock(mutex_);
    auto it = options_.find(fd);
    return it == options_.end() ? SocketOptions{} : it->second;
}

uint32_t Network::keepaliveTicks(const SocketOptions &o)
{
    if (!o.keepalive)
        return 0;
    return static_cast<uint32_t>(o.keepIdleSeconds + o.keepIntervalSeconds * o.keepProbes) * 100u;
}

void Network::setOption(int fd, int level, int name, const void *value, unsigned length)
{
    std::lock_guard lock(mutex_);
    if (!programSockets_.count(fd) || !value)
        return;
    SocketOptions &o = options_[fd];
    int number = 0;
    if (length >= sizeof number)
        std::memcpy(&number, value, sizeof number);
    if (level == SOL_SOCKET && name == SO_KEEPALIVE)
        o.keepalive = number != 0;
    else if (level == IPPROTO_TCP && name == TCP_KEEPIDLE)
        o.keepIdleSeconds = number;
    else if (level == IPPROTO_TCP && name == TCP_KEEPINTVL)
        o.keepIntervalSeconds = number;
    else if (level == IPPROTO_TCP && name == TCP_KEEPCNT)
        o.keepProbes = number;
    else if (level == SOL_SOCKET && name == sendTimeoutOption && length >= sizeof(long[2])) {
        long t[2]; // the kernel's own timeval: seconds, microseconds
        std::memcpy(t, value, sizeof t);
        o.sendTimeoutMs = static_cast<int>(t[0] * 1000 + t[1] / 1000);
    }
}

bool Network::orphanedRead(int fd, bool fionread, long &result, int &error)
{
    uint32_t now = firmware().clock.tick();
    std::lock_guard lock(mutex_);
    auto it = orphans_.find(fd);
    if (it == orphans_.end())
        return false;
    auto opt = options_.find(fd);
    uint32_t limit = keepaliveTicks(opt == options_.end() ? SocketOptions{} : opt->second);
    bool dropped = limit != 0 && firmware().clock.isVirtual() && now - it->second.since >= limit;
    // As Linux has it: the byte count of a dropped connection is 0, its
    // next read gives the keepalive's ETIMEDOUT once, every later one the
    // end of stream. Before that nothing arrives.
    if (fionread) {
        result = 0;
    } else if (!dropped) {
        result = -1;
        error = EAGAIN;
    } else if (!it->second.reported) {
        it->second.reported = true;
        result = -1;
        error = ETIMEDOUT;
    } else {
        result = 0;
    }
    return true;
}

bool Network::blackHoleConnect(int fd, int &result, int &error)
{
    int waitMs = 0;
    {
        std::lock_guard lock(mutex_);
        if (!vanished_ || !programSockets_.count(fd))
            return false;
        auto it = options_.find(fd);
        waitMs = it == options_.end() ? 0 : it->second.sendTimeoutMs;
    }
    // Without a send timeout Linux gives up after its six SYN retries.
    uint32_t ticks = waitMs > 0 ? static_cast<uint32_t>((waitMs + 9) / 10) : 12700u;
    firmware().clock.advance(ticks);
    firmware().journal.note("connect() into the vanished router returns after " + std::to_string(ticks) + " ticks");
    result = -1;
    error = waitMs > 0 ? EINPROGRESS : ETIMEDOUT;
    return true;
}

bool Network::ownsSocket(int fd) const
{
    std::lock_guard lock(mutex_);
    return programSockets_.count(fd) != 0;
}

std::set<int> Network::programSockets() const
{
    std::lock_guard lock(mutex_);
    return programSockets_;
}

void Network::addProgramSocket(int fd)
{
    std::lock_guard lock(mutex_);
    programSockets_.insert(fd);
}

void Network::forgetSocket(int fd)
{
    std::lock_guard lock(mutex_);
    programSockets_.erase(fd);
    options_.erase(fd);
    orphans_.erase(fd);
}

std::vector<std::string> Network::leakReport() const
{
    std::vector<std::string> out;
    for (int fd : programSockets())
        out.push_back("socket " + std::to_string(fd) + " never closed");
    return out;
}

bool Network::waitReadable(int fd, int bytes, int timeoutMs)
{
    if (MemoryNetwork::inRange(fd)) // memory is complete when written
        return true;
    for (int waited = 0; waited <= timeoutMs; ++waited) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) {
            if (p.revents & (POLLHUP | POLLERR))
                return true;
            int n = 0;
            if (::ioctl(fd, FIONREAD, &n) == 0 && n >= bytes)
                return true;
            // Readable without data: the peer closed the connection.
            char c;
            if (n == 0 && ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
                return true;
        }
        usleep(1000);
    }
    return false;
}

bool Network::waitClosed(int fd, int timeoutMs)
{
    if (MemoryNetwork::inRange(fd))
        return true;
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

} // namespace sim
