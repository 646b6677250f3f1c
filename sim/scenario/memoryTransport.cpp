#include "memoryTransport.h"

#include <algorithm>

#include "network.h"

namespace sim
{

MemoryTransport::MemoryTransport(MemoryNetwork &network) : network_(network) {}

MemoryTransport::MemoryTransport() : MemoryTransport(network().memory()) {}

bool MemoryTransport::acceptPending(std::chrono::milliseconds)
{
    // A program that closed its socket is gone from the network already; nothing to forget here.
    return !refusing() && network_.accept() > 0;
}

std::size_t MemoryTransport::write(std::string_view bytes, std::chrono::milliseconds)
{
    std::size_t clients = network_.clientCount();
    if (clients == 0)
        return bytes.size();
    std::size_t unread = network_.unread();
    std::size_t room = unread < unreadLimit ? (unreadLimit - unread) / clients : 0;
    std::size_t taken = std::min(bytes.size(), room);
    if (taken > 0)
        network_.write(bytes.substr(0, taken));
    return taken;
}

// As over TCP, a connection still waiting to be accepted is closed with the others.
void MemoryTransport::closeClients()
{
    acceptPending(std::chrono::milliseconds{0});
    network_.closeClients();
}

void MemoryTransport::resetClients()
{
    acceptPending(std::chrono::milliseconds{0});
    network_.resetClients();
}

} // namespace sim
