// The fake router on the simulator's network in memory: the same engine and player as over TCP, for a
// build with no sockets or a second thread (the browser's), where the program and the router share the
// receiver's event thread. Nothing here waits: the program reads only when that thread runs again.
#pragma once

#include <cstddef>
#include <string>

#include "fakerouter/transport.h"
#include "memoryNetwork.h"

namespace sim
{

class MemoryTransport final : public fakerouter::Transport
{
  public:
    // What the program's sockets hold unread at most, all of them together, as a socket buffer bounds a
    // flood over TCP: the program reads 128 bytes an idle event, so a flood must not grow without end.
    static constexpr std::size_t unreadLimit = std::size_t{1} << 20;

    // The receiver's memory network unless another is given.
    explicit MemoryTransport(MemoryNetwork &network);
    MemoryTransport();

    bool acceptPending(std::chrono::milliseconds wait) override;
    std::size_t clientCount() const override { return network_.clientCount(); }
    // Takes at once what fits under unreadLimit, the same bytes for every client; the deadline is not
    // waited for, as the program cannot read meanwhile.
    std::size_t write(std::string_view bytes, std::chrono::milliseconds deadline) override;
    void closeClients() override;
    void resetClients() override;
    void setRefusing(bool refusing) override { network_.setListening(!refusing); }
    bool refusing() const override { return !network_.listening(); }
    std::string address() const override { return "memory:" + std::to_string(MemoryNetwork::routerPort); }

  private:
    MemoryNetwork &network_;
};

} // namespace sim
