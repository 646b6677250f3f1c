#include "memoryNetwork.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace sim
{

void MemoryNetwork::reset()
{
    sockets_.clear();
    nextDescriptor_ = firstDescriptor;
    listening_ = true;
}

int MemoryNetwork::socket()
{
    int fd = nextDescriptor_++;
    sockets_.emplace(fd, Socket{});
    return fd;
}

int MemoryNetwork::connect(int fd, uint16_t port, int &error)
{
    auto it = sockets_.find(fd);
    if (it == sockets_.end()) {
        error = EBADF;
        return -1;
    }
    if (it->second.connected) {
        error = EISCONN;
        return -1;
    }
    if (port != routerPort || !listening_) {
        error = ECONNREFUSED;
        return -1;
    }
    it->second.connected = true;
    return 0;
}

MemoryNetwork::Socket *MemoryNetwork::connectedSocket(int fd, int &error)
{
    auto it = sockets_.find(fd);
    if (it == sockets_.end()) {
        error = EBADF;
        return nullptr;
    }
    if (!it->second.connected) {
        error = ENOTCONN;
        return nullptr;
    }
    return &it->second;
}

int MemoryNetwork::waiting(int fd, int &error) const
{
    auto it = sockets_.find(fd);
    if (it == sockets_.end()) {
        error = EBADF;
        return -1;
    }
    // Linux answers FIONREAD on a socket that never connected with 0 too.
    return static_cast<int>(std::min<size_t>(it->second.waiting(), 1u << 30));
}

long MemoryNetwork::receive(int fd, void *buffer, size_t length, int flags, int &error)
{
    Socket *s = connectedSocket(fd, error);
    if (!s)
        return -1;
    if (s->resetPending) {
        // Reported once, by the first read, a peeking one included.
        s->resetPending = false;
        error = ECONNRESET;
        return -1;
    }
    size_t n = std::min(length, s->waiting());
    if (n > 0) {
        std::memcpy(buffer, s->inbound.data() + s->readFrom, n);
        if (!(flags & MSG_PEEK)) {
            s->readFrom += n;
            if (s->readFrom == s->inbound.size()) {
                s->inbound.clear();
                s->readFrom = 0;
            }
        }
        return static_cast<long>(n);
    }
    if (s->endOfStream || length == 0)
        return 0;
    error = EAGAIN;
    return -1;
}

void MemoryNetwork::close(int fd)
{
    sockets_.erase(fd);
}

void MemoryNetwork::setListening(bool listening)
{
    listening_ = listening;
    if (listening)
        return;
    for (auto &[fd, s] : sockets_)
        if (s.connected && !s.accepted && !s.endOfStream) {
            s.endOfStream = true;
            s.resetPending = true;
        }
}

size_t MemoryNetwork::accept()
{
    size_t taken = 0;
    for (auto &[fd, s] : sockets_)
        if (s.connected && !s.accepted && !s.endOfStream) {
            s.accepted = true;
            ++taken;
        }
    return taken;
}

size_t MemoryNetwork::clientCount() const
{
    return static_cast<size_t>(std::count_if(sockets_.begin(), sockets_.end(), [](const auto &entry) {
        return entry.second.accepted && !entry.second.endOfStream;
    }));
}

bool MemoryNetwork::hasClient() const
{
    return clientCount() > 0;
}

bool MemoryNetwork::write(std::string_view bytes)
{
    bool any = false;
    for (auto &[fd, s] : sockets_)
        if (s.accepted && !s.endOfStream) {
            s.inbound.append(bytes);
            any = true;
        }
    return any;
}

void MemoryNetwork::closeClients()
{
    for (auto &[fd, s] : sockets_)
        if (s.accepted)
            s.endOfStream = true;
}

void MemoryNetwork::resetClients()
{
    for (auto &[fd, s] : sockets_)
        if (s.accepted && !s.endOfStream) {
            s.endOfStream = true;
            s.resetPending = true;
            s.inbound.clear();
            s.readFrom = 0;
        }
}

size_t MemoryNetwork::unread() const
{
    size_t n = 0;
    for (const auto &[fd, s] : sockets_)
        n += s.waiting();
    return n;
}

} // namespace sim
