// The C library's socket functions as the program meets them, defined by the
// simulator itself (the program file resolves them against the executable).
// A call of the program is steered by the Network: faults, the vanished
// router, the router's port, and the transport (a host socket or a byte
// queue of the MemoryNetwork). Every other call passes through to the real
// C library.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#ifdef __EMSCRIPTEN__
#include <wasi/api.h>
#else
#include <dlfcn.h>
#endif
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "firmware.h"
#include "network.h"

namespace
{

#ifdef __EMSCRIPTEN__
using IoctlRequest = int;
#else
using IoctlRequest = unsigned long;
#endif

// The C library's own functions, for every call that is not the program's.
namespace host
{
#ifdef __EMSCRIPTEN__
// A browser tab has no sockets beneath the program's: such a call fails as
// on a system without a network. Files are closed as the C library does.
int unsupported()
{
    errno = ENOSYS;
    return -1;
}
int socket(int, int, int)
{
    return unsupported();
}
hostent *gethostbyname(const char *)
{
    h_errno = HOST_NOT_FOUND;
    return nullptr;
}
int connect(int, const sockaddr *, socklen_t)
{
    return unsupported();
}
int ioctl(int, IoctlRequest, void *)
{
    return unsupported();
}
ssize_t recv(int, void *, size_t, int)
{
    return unsupported();
}
int setsockopt(int, int, int, const void *, socklen_t)
{
    return unsupported();
}
int close(int fd)
{
    __wasi_errno_t error = __wasi_fd_close(static_cast<__wasi_fd_t>(fd));
    if (error == __WASI_ERRNO_SUCCESS || error == __WASI_ERRNO_INTR)
        return 0;
    errno = error;
    return -1;
}
#else
template <typename F> F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
int socket(int domain, int type, int protocol)
{
    static auto call = real<int (*)(int, int, int)>("socket");
    return call(domain, type, protocol);
}
hostent *gethostbyname(const char *name)
{
    static auto call = real<hostent *(*)(const char *)>("gethostbyname");
    return call(name);
}
int connect(int fd, const sockaddr *address, socklen_t length)
{
    static auto call = real<int (*)(int, const sockaddr *, socklen_t)>("connect");
    return call(fd, address, length);
}
int ioctl(int fd, IoctlRequest request, void *arg)
{
    static auto call = real<int (*)(int, IoctlRequest, void *)>("ioctl");
    return call(fd, request, arg);
}
ssize_t recv(int fd, void *buffer, size_t length, int flags)
{
    static auto call = real<ssize_t (*)(int, void *, size_t, int)>("recv");
    return call(fd, buffer, length, flags);
}
int setsockopt(int fd, int level, int name, const void *value, socklen_t length)
{
    static auto call = real<int (*)(int, int, int, const void *, socklen_t)>("setsockopt");
    return call(fd, level, name, value, length);
}
int close(int fd)
{
    static auto call = real<int (*)(int)>("close");
    return call(fd);
}
#endif
} // namespace host

hostent routerEntry;
in_addr routerAddress;
char *routerAddressList[2];
char routerName[256];

bool inMemory(int fd)
{
    return sim::MemoryNetwork::inRange(fd) && sim::network().memory().owns(fd);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int socket(int domain, int type, int protocol)
{
    sim::Network &net = sim::network();
    if (!net.inProgram())
        return host::socket(domain, type, protocol);
    if (net.faults.socketFails) {
        sim::firmware().journal.note("socket() fails (fault)");
        errno = EMFILE;
        return -1;
    }
    int fd = net.transport() == sim::Transport::Memory ? net.memory().socket() : host::socket(domain, type, protocol);
    if (fd >= 0)
        net.addProgramSocket(fd);
    return fd;
}

__attribute__((visibility("default"))) hostent *gethostbyname(const char *name)
{
    sim::Network &net = sim::network();
    if (!net.inProgram())
        return host::gethostbyname(name);
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

static int programConnect(int fd, const sockaddr *address, socklen_t length)
{
    sim::Network &net = sim::network();
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
    sockaddr_in to{};
    bool inet = address && length >= sizeof to && address->sa_family == AF_INET;
    if (inet)
        std::memcpy(&to, address, sizeof to);
    if (inMemory(fd)) {
        result = net.memory().connect(fd, inet ? ntohs(to.sin_port) : 0, error);
        if (result != 0)
            errno = error;
        return result;
    }
    if (inet && ntohs(to.sin_port) == 1012) {
        to.sin_port = htons(net.routerPort_);
        return host::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    return host::connect(fd, address, length);
}

__attribute__((visibility("default"))) int connect(int fd, const sockaddr *address, socklen_t length)
{
    sim::Network &net = sim::network();
    if (!net.ownsSocket(fd))
        return host::connect(fd, address, length);
    int result = programConnect(fd, address, length);
    int error = errno;
    net.noteConnect(fd, result, error);
    errno = error;
    return result;
}

__attribute__((visibility("default"))) int ioctl(int fd, IoctlRequest request, ...)
{
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
    if (inMemory(fd)) {
        int n = request == FIONREAD && arg ? net.memory().waiting(fd, error) : (error = ENOTTY, -1);
        if (n < 0) {
            errno = error;
            return -1;
        }
        *static_cast<int *>(arg) = n;
        return 0;
    }
    return host::ioctl(fd, request, arg);
}

__attribute__((visibility("default"))) ssize_t recv(int fd, void *buffer, size_t length, int flags)
{
    sim::Network &net = sim::network();
    long result = 0;
    int error = 0;
    if (!net.orphanedRead(fd, false, result, error)) {
        if (inMemory(fd)) {
            result = net.memory().receive(fd, buffer, length, flags, error);
        } else {
            result = host::recv(fd, buffer, length, flags);
            error = errno;
        }
    }
    if (length > 0)
        net.noteReceive(fd, result, error);
    errno = error;
    return result;
}

__attribute__((visibility("default"))) int setsockopt(int fd, int level, int name, const void *value, socklen_t length)
{
    sim::network().setOption(fd, level, name, value, length);
    if (inMemory(fd))
        return 0;
    return host::setsockopt(fd, level, name, value, length);
}

__attribute__((visibility("default"))) int close(int fd)
{
    sim::Network &net = sim::network();
    net.noteClose(fd);
    net.forgetSocket(fd);
    if (inMemory(fd)) {
        net.memory().close(fd);
        return 0;
    }
    return host::close(fd);
}

} // extern "C"
