#include "network.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <netdb.h>
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
    std::lock_guard lock(mutex_);
    programSockets_.clear();
    options_.clear();
    orphans_.clear();
    vanished_ = false;
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
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

} // namespace sim

// ---- the interposed C library functions ----

namespace
{

template <typename F> F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

hostent routerEntry;
in_addr routerAddress;
char *routerAddressList[2];
char routerName[256];

} // namespace

extern "C" {

__attribute__((visibility("default"))) int socket(int domain, int type, int protocol)
{
    static auto realSocket = real<int (*)(int, int, int)>("socket");
    sim::Network &net = sim::network();
    if (!net.inProgram())
        return realSocket(domain, type, protocol);
    if (net.faults.socketFails) {
        sim::firmware().journal.note("socket() fails (fault)");
        errno = EMFILE;
        return -1;
    }
    int fd = realSocket(domain, type, protocol);
    if (fd >= 0)
        net.addProgramSocket(fd);
    return fd;
}

__attribute__((visibility("default"))) hostent *gethostbyname(const char *name)
{
    static auto realResolve = real<hostent *(*)(const char *)>("gethostbyname");
    sim::Network &net = sim::network();
    if (!net.inProgram())
        return realResolve(name);
    bool matches = name && (net.routerHost_.empty() || net.routerHost_ == name);
    if (net.faults.resolveFails || !matches) {
        sim::firmware().journal.note(std::string("gethostbyname(\"") + (name ? name : "") + "\") = none");
        h_errno = HOST_NOT_FOUND;
        return nullptr;
    }
    std::strncpy(routerName, name, sizeof routerName - 1);
    inet_pton(AF_INET, net.routerAddress_.c_str(), &routerAddress);
    routerAddressList[0] = reinterpret_cast<char *>(&routerAddress);
    routerAddressList[1] = nullptr;
    routerEntry.h_name = routerName;
    routerEntry.h_aliases = nullptr;
    routerEntry.h_addrtype = AF_INET;
    routerEntry.h_length = 4;
    routerEntry.h_addr_list = routerAddressList;
    return &routerEntry;
}

__attribute__((visibility("default"))) int connect(int fd, const sockaddr *address, socklen_t length)
{
    static auto realConnect = real<int (*)(int, const sockaddr *, socklen_t)>("connect");
    sim::Network &net = sim::network();
    if (!net.ownsSocket(fd))
        return realConnect(fd, address, length);
    if (net.faults.connectRefused) {
        sim::firmware().journal.note("connect() refused (fault)");
        errno = ECONNREFUSED;
        return -1;
    }
    int result = 0, error = 0;
    if (net.blackHoleConnect(fd, result, error)) {
        errno = error;
        return result;
    }
    if (address && length >= sizeof(sockaddr_in) && address->sa_family == AF_INET) {
        sockaddr_in to;
        std::memcpy(&to, address, sizeof to);
        if (ntohs(to.sin_port) == 1012) {
            to.sin_port = htons(net.routerPort_);
            return realConnect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        }
    }
    return realConnect(fd, address, length);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...)
{
    static auto realIoctl = real<int (*)(int, unsigned long, void *)>("ioctl");
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    sim::Network &net = sim::network();
    if (net.inProgram() && net.ownsSocket(fd) && request == FIONREAD && net.faults.fionreadFails) {
        errno = EIO;
        return -1;
    }
    long result = 0;
    int error = 0;
    if (request == FIONREAD && arg && net.orphanedRead(fd, true, result, error)) {
        *static_cast<int *>(arg) = static_cast<int>(result);
        return 0;
    }
    return realIoctl(fd, request, arg);
}

__attribute__((visibility("default"))) ssize_t recv(int fd, void *buffer, size_t length, int flags)
{
    static auto realRecv = real<ssize_t (*)(int, void *, size_t, int)>("recv");
    long result = 0;
    int error = 0;
    if (sim::network().orphanedRead(fd, false, result, error)) {
        errno = error;
        return result;
    }
    return realRecv(fd, buffer, length, flags);
}

__attribute__((visibility("default"))) int setsockopt(int fd, int level, int name, const void *value, socklen_t length)
{
    static auto realSetsockopt = real<int (*)(int, int, int, const void *, socklen_t)>("setsockopt");
    sim::network().setOption(fd, level, name, value, length);
    return realSetsockopt(fd, level, name, value, length);
}

__attribute__((visibility("default"))) int close(int fd)
{
    static auto realClose = real<int (*)(int)>("close");
    sim::network().forgetSocket(fd);
    return realClose(fd);
}

} // extern "C"
