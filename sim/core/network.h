// The receiver's network as the simulator models it. The program calls the
// C library's socket functions by name; the simulator defines those names
// itself, so that the sockets the program opens can be steered: the router's
// host name resolves as configured, a connection to port 1012 reaches the
// fake router wherever it listens, and faults can be switched on. Every
// other socket call (the simulator's own, its libraries') passes straight
// through to the real C library.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sim
{

struct NetworkFaults {
    bool resolveFails = false;   // gethostbyname of the router gives nothing
    bool connectRefused = false; // connect fails as if nobody listened
    bool socketFails = false;    // socket() gives -1
    bool fionreadFails = false;  // the FIONREAD query fails
};

class Network
{
  public:
    // The router's host name (as in the settings) and where the fake router
    // really listens. An empty name means: every name resolves to it.
    void setRouter(std::string hostName, uint16_t port, std::string address = "127.0.0.1");
    NetworkFaults faults;

    // Calls between enter() and leave() on this thread are the program's.
    void enterProgram();
    void leaveProgram();
    bool inProgram() const;

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
    std::string routerHost_;
    uint16_t routerPort_ = 1012;
    std::string routerAddress_ = "127.0.0.1";

  private:
    mutable std::mutex mutex_;
    std::set<int> programSockets_;
    std::atomic<unsigned long> programThread_{0};
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
