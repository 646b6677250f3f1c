// How the fake router reaches the programs that listen to it. The router's engine decides what to write
// and when; a transport only carries it: accepting and refusing connections, writing the same bytes to
// every client, closing or resetting them. TcpListener is the real one; an in-memory network can stand
// in for it where no sockets are wanted.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fakerouter
{

class Transport
{
  public:
    virtual ~Transport() = default;

    // Takes every waiting connection, waiting up to `wait` for the first one, and forgets clients that
    // hung up. True when at least one new client came. A refusing transport takes none.
    virtual bool acceptPending(std::chrono::milliseconds wait) = 0;
    virtual std::size_t clientCount() const = 0;
    // Hands the same bytes to every client until all of them are taken or `deadline` has passed; a
    // client that fails is dropped. Returns what the slowest client took (all of it when there is none).
    virtual std::size_t write(std::string_view bytes, std::chrono::milliseconds deadline) = 0;
    // Ends every connection: in order (FIN), the client reads what was sent and then end of stream, or
    // aborted (RST), the client's next read fails.
    virtual void closeClients() = 0;
    virtual void resetClients() = 0;
    // While refusing, connects fail and connections not yet accepted are dropped; clients already
    // connected stay. Ending it accepts connections at the same address again.
    virtual void setRefusing(bool refusing) = 0;
    virtual bool refusing() const = 0;
    // Where clients reach it, for reports ("127.0.0.1:1012").
    virtual std::string address() const = 0;
};

// The call-monitor service as the router offers it: a listening IPv4 TCP socket.
class TcpListener final : public Transport
{
  public:
    // Port 0 picks a free port. Throws std::system_error when the address cannot be bound.
    explicit TcpListener(std::uint16_t port = 0, std::string bindAddress = "127.0.0.1");
    ~TcpListener() override;
    TcpListener(const TcpListener &) = delete;
    TcpListener &operator=(const TcpListener &) = delete;

    std::uint16_t port() const { return port_; }
    const std::string &bindAddress() const { return bindAddress_; }

    bool acceptPending(std::chrono::milliseconds wait) override;
    std::size_t clientCount() const override { return clients_.size(); }
    std::size_t write(std::string_view bytes, std::chrono::milliseconds deadline) override;
    void closeClients() override;
    void resetClients() override;
    void setRefusing(bool refusing) override;
    bool refusing() const override { return listenFd_ < 0; }
    std::string address() const override { return bindAddress_ + ":" + std::to_string(port_); }

  private:
    void listen();
    void dropDeparted();
    void closeAll(bool reset);

    std::uint16_t port_ = 0;
    std::string bindAddress_;
    int listenFd_ = -1;
    std::vector<int> clients_;
};

} // namespace fakerouter
