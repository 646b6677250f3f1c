// The receiver's network without sockets of the host: the program's socket
// calls are served from byte queues in memory, and the router's side is a
// small peer interface that a fake router engine or a fuzzer drives. Its
// answers are those of Linux as the program meets them (a refused connect,
// FIONREAD of 0 on a closed connection, a reset reported once by a read,
// then the end of stream), with no waiting anywhere: every operation is
// finished when it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace sim
{

class MemoryNetwork
{
  public:
    // Far above the descriptors the host hands out, so that the two never
    // meet in the interposed calls.
    static constexpr int firstDescriptor = 1 << 24;
    // The only port that answers: the router's call monitor.
    static constexpr uint16_t routerPort = 1012;

    // ---- the program's side; errors as errno values ----
    int socket();
    // A range test only, so any thread may ask it of a host descriptor.
    static bool inRange(int fd) { return fd >= firstDescriptor; }
    bool owns(int fd) const { return inRange(fd) && sockets_.count(fd) != 0; }
    // 0, or -1 with `error` set. Only the router's port answers.
    int connect(int fd, uint16_t port, int &error);
    // FIONREAD: the bytes waiting; -1 with `error` when fd is not connected.
    int waiting(int fd, int &error) const;
    // recv with MSG_PEEK honoured; never blocks: nothing waiting on an open
    // connection gives -1 with EAGAIN.
    long receive(int fd, void *buffer, size_t length, int flags, int &error);
    void close(int fd);

    // ---- the router's side ----
    // Listening takes connections on the router's port; refusing closes the
    // listener, so connects are refused and connections not yet accepted are
    // reset, while accepted ones stay.
    void setListening(bool listening);
    bool listening() const { return listening_; }
    // Accepts every connection waiting; returns how many came.
    size_t accept();
    bool hasClient() const;
    size_t clientCount() const;
    // Every accepted connection gets the bytes; false when there is none.
    bool write(std::string_view bytes);
    // Orderly close (FIN): the program reads what was sent, then the end.
    void closeClients();
    // Abortive close (RST): unread bytes are gone, the next read fails once
    // with ECONNRESET.
    void resetClients();
    // Bytes written that the program has not read yet, over all connections.
    size_t unread() const;

    // No sockets, listening on the router's port.
    void reset();

  private:
    struct Socket {
        bool connected = false;
        bool accepted = false;     // the router took it from its backlog
        bool endOfStream = false;  // the router closed or reset it
        bool resetPending = false; // the next read reports ECONNRESET
        std::string inbound;       // written by the router; read up to `readFrom`
        size_t readFrom = 0;
        size_t waiting() const { return inbound.size() - readFrom; }
    };
    Socket *connectedSocket(int fd, int &error);

    std::map<int, Socket> sockets_;
    int nextDescriptor_ = firstDescriptor;
    bool listening_ = true;
};

} // namespace sim
