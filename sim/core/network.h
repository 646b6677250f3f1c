// The receiver's network as the simulator models it. The program calls the
// C library's socket functions by name; the simulator defines those names
// itself, so that the sockets the program opens can be steered: the router's
// host name resolves as configured, a connection to port 1012 reaches the
// fake router wherever it listens, and faults can be switched on. Every
// other socket call (the simulator's own, its libraries') passes straight
// through to the real C library. The program's sockets are real TCP sockets
// of the host, or byte queues in memory (MemoryNetwork) where no host socket
// is wanted or to be had: a fuzzer, a build without sockets.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "memoryNetwork.h"

namespace sim
{

enum class Transport {
    Tcp,    // the program's sockets are the host's; the router listens on loopback
    Memory, // byte queues; the router is driven through memory()
};

// How the program's last router connection, or its last attempt, ended.
enum class ConnectionEnd {
    None,      // nothing has ended yet
    ByRouter,  // the router closed it (end of stream)
    Reset,     // the router reset it
    ByProgram, // the program closed it while it was still standing
    Refused,   // the attempt was refused
    NoAnswer,  // the attempt got no answer, or the keepalive gave the connection up
};

// What the network knows of the program's socket to the router, for the
// front ends to show.
struct RouterSocketFacts {
    bool connected = false;
    uint32_t connectedSince = 0; // receiver tick at which the connection was made
    ConnectionEnd lastEnd = ConnectionEnd::None;
    // connect calls since the last connection that stood at least a minute
    // (the current one included, once it has)
    int attempts = 0;
    // when the last connect call that failed returned (receiver tick)
    bool anyFailedAttempt = false;
    uint32_t failedAttemptTick = 0;
    bool operator==(const RouterSocketFacts &) const = default;
};

struct NetworkFaults {
    bool resolveFails = false;   // gethostbyname of the router gives nothing
    bool connectRefused = false; // connect fails as if nobody listened
    bool socketFails = false;    // socket() gives -1
    bool fionreadFails = false;  // the FIONREAD query fails
};

// What the program asked of a socket with setsockopt, as far as the
// simulator models it in virtual time. The defaults are Linux's.
struct SocketOptions {
    bool keepalive = false;
    int keepIdleSeconds = 7200;
    int keepIntervalSeconds = 75;
    int keepProbes = 9;
    int sendTimeoutMs = 0; // 0: none; a blocking connect then gives up after 127 s
};

class Network
{
  public:
    // The router's host name (as in the settings) and where the fake router
    // really listens. An empty name means: every name resolves to it.
    void setRouter(std::string hostName, uint16_t port, std::string address = "127.0.0.1");
    NetworkFaults faults;

    // Chosen per receiver at boot; reset() keeps it. The memory network is
    // used from one thread, the receiver's event thread.
    void setTransport(Transport transport);
    Transport transport() const { return transport_; }
    MemoryNetwork &memory() { return memory_; }
    RouterSocketFacts routerFacts() const;
    // A program starts: what an earlier one did on its sockets is not its.
    void forgetRouterFacts();

    // Calls between enter() and leave() on this thread are the program's.
    void enterProgram();
    void leaveProgram();
    bool inProgram() const;

    // The router vanishes without a word (power cut, crash): nothing it
    // sends arrives, its connections get no FIN or RST, and connection
    // requests get no answer. In virtual time a connection it had is dropped
    // as a keepalive would drop it, idle + interval * probes after it
    // vanished (the latest the kernel notices), and a connect blocks for the
    // socket's send timeout. Connections made after it is back are sound.
    void setRouterVanished(bool vanished);
    bool routerVanished() const;
    SocketOptions socketOptions(int fd) const;
    // Ticks after the router vanished at which the connection is dropped;
    // 0 when it never is (no keepalive).
    static uint32_t keepaliveTicks(const SocketOptions &options);

    bool ownsSocket(int fd) const;
    std::set<int> programSockets() const;
    // Waits (bounded) until the program's socket has `bytes` readable or an
    // end of stream; scenarios use it so that a router action is complete
    // before the next idle event.
    bool waitReadable(int fd, int bytes, int timeoutMs);
    // Waits (bounded) until the peer's close or reset is visible on the socket.
    bool waitClosed(int fd, int timeoutMs);
    std::vector<std::string> leakReport() const;
    void reset();

    // Used by the interposed functions, which other threads (the simulator's
    // own, its libraries') call too: the socket set is locked, and only the
    // thread inside the program counts its depth.
    void addProgramSocket(int fd);
    void forgetSocket(int fd);
    void setOption(int fd, int level, int name, const void *value, unsigned length);
    // The interposed calls on a connection of the vanished router: true when
    // it is one, with the call's result and errno in `result`/`error`.
    bool orphanedRead(int fd, bool fionread, long &result, int &error);
    // A connect into the vanished router: the virtual clock moves on by the
    // wait, and the call's result and errno are given.
    bool blackHoleConnect(int fd, int &result, int &error);
    // What the interposed calls saw on the program's sockets, for the facts.
    void noteConnect(int fd, int result, int error);
    void noteReceive(int fd, long result, int error);
    void noteClose(int fd);
    std::string routerHost_;
    uint16_t routerPort_ = 1012;
    std::string routerAddress_ = "127.0.0.1";

  private:
    mutable std::mutex mutex_;
    std::set<int> programSockets_;
    std::map<int, SocketOptions> options_;
    struct Orphan {
        uint32_t since;        // tick at which the router vanished
        bool reported = false; // the keepalive's error was handed out once
    };
    std::map<int, Orphan> orphans_;
    bool vanished_ = false;
    std::atomic<unsigned long> programThread_{0};
    Transport transport_ = Transport::Tcp;
    MemoryNetwork memory_;
    RouterSocketFacts facts_;
    int routerSocket_ = -1;       // the program's connected router socket
    bool routerEndKnown_ = false; // its end was seen by a read already
};

Network &network();

// RAII form of enterProgram/leaveProgram.
class ProgramCall
{
  public:
    ProgramCall() { network().enterProgram(); }
    ~ProgramCall() { network().leaveProgram(); }
    ProgramCall(const ProgramCall &) = delete;
    ProgramCall &operator=(const ProgramCall &) = delete;
};

} // namespace sim
