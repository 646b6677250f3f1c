// A stand-in for the FritzBox call-monitor service (TCP port 1012): it writes router lines and misbehaves
// on request, through a transport (a real listening socket unless another is given), with every
// operation finished when it returns.
#pragma once

#include "fakerouter/transport.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fakerouter
{

// The router's field 0: "dd.mm.yy hh:mm:ss" in local time.
std::string routerTimestamp(std::time_t when);

// True when `line` starts with a field 0 of that shape, closed by ";".
bool startsWithTimestamp(std::string_view line);

// The fields after the timestamp for the four events, each closed by ";", without the line end.
std::string ringFields(int id, std::string_view caller, std::string_view own, std::string_view line = "SIP0");
std::string callFields(int id, int extension, std::string_view own, std::string_view called,
                       std::string_view line = "SIP0");
std::string connectFields(int id, int extension, std::string_view number);
std::string disconnectFields(int id, long seconds);

// Whole lines of calls that start, connect and end, cycling through ids 0 to 7, all with one timestamp,
// at least `bytes` long and cut only at a line end.
std::string floodPayload(std::size_t bytes, std::string_view timestamp);
// How much of it a flood makes and writes at a time.
inline constexpr std::size_t floodPiece = 64 * 1024;

// Every client connected at the time of a write gets the same bytes, as several programs can listen to
// the real service at once. A connection waiting in the backlog is accepted before each write, so a
// client whose connect() has returned always gets the next line.
class FakeRouter
{
  public:
    // Listens on TCP. Port 0 picks a free port. Throws std::system_error when the address cannot be bound.
    explicit FakeRouter(std::uint16_t port = 0, std::string bindAddress = "127.0.0.1");
    explicit FakeRouter(std::unique_ptr<Transport> transport);
    ~FakeRouter();
    FakeRouter(const FakeRouter &) = delete;
    FakeRouter &operator=(const FakeRouter &) = delete;

    // The TCP port, 0 on another transport.
    std::uint16_t port() const;
    // Where clients reach the router, for reports.
    std::string address() const { return transport_->address(); }

    // Accepts every waiting connection, waiting up to `wait` for the first one, and forgets clients that
    // hung up. True when at least one new client came.
    bool acceptPending(std::chrono::milliseconds wait = std::chrono::milliseconds{0});
    bool hasClient() const { return clientCount() > 0; }
    std::size_t clientCount() const { return transport_->clientCount(); }

    // Where timestamps come from; the system clock unless replaced (a simulator passes its own clock).
    void setClock(std::function<std::time_t()> clock);
    // How long one write may wait for a client that does not read; the bytes not taken by then are lost.
    void setWriteTimeout(std::chrono::milliseconds timeout) { writeTimeout_ = timeout; }

    // Writes the bytes as they are. False when a client did not take all of them (it hung up, or did not
    // read within the write timeout) or when the router is silent.
    bool send(std::string_view rawBytes);
    // The whole line as the router would write it now: timestamp field of the clock's time, the fields,
    // CR LF.
    std::string stampedLine(std::string_view fieldsAfterTimestamp) const;
    // Sends stampedLine(fields) and returns it.
    std::string sendLine(std::string_view fieldsAfterTimestamp);
    std::string ring(int id, std::string_view caller, std::string_view own, std::string_view line = "SIP0");
    std::string call(int id, int extension, std::string_view own, std::string_view called,
                     std::string_view line = "SIP0");
    std::string connect(int id, int extension, std::string_view number);
    std::string disconnect(int id, long seconds);

    // Orderly close (FIN), like a router restart: the client reads what was sent, then end of stream.
    void closeClients();
    // Abortive close (RST through SO_LINGER 0): the client's next read fails with ECONNRESET.
    void resetClients();
    // Refusing closes the listening socket, so connects fail with ECONNREFUSED and connections not yet
    // accepted are reset; clients already connected stay. Ending it listens on the same port again.
    void setRefusing(bool refusing);
    bool refusing() const { return transport_->refusing(); }
    // A silent router keeps its connections and writes nothing; what is sent meanwhile is dropped.
    void setSilent(bool silent) { silent_ = silent; }
    bool silent() const { return silent_; }

    // Sends the first `bytesBefore` bytes (half of them when npos) and keeps the rest for resume(), which
    // sends it; a later stall replaces a kept rest. Both return what they sent.
    std::string stall(std::string_view bytes, std::size_t bytesBefore = std::string::npos);
    std::string resume();
    std::size_t stalledBytes() const { return stalled_.size(); }

    // One byte per write (TCP_NODELAY is set, so each byte travels on its own), spaced by whoever owns the
    // clock: drip() keeps the bytes and sends the first, each dripNext() the next one, and a later drip
    // replaces the bytes not yet sent. Both return whether every byte of this drip so far was taken.
    bool drip(std::string_view bytes);
    bool dripNext();
    std::size_t dripLeft() const { return dripping_.size() - dripSent_; }
    // The bytes of the last drip, all of them.
    const std::string &dripped() const { return dripping_; }
    bool sendNul();
    // `count` bytes of any value, newline, ";" and NUL included, the same for the same seed.
    std::string sendGarbage(std::size_t count, std::uint32_t seed);
    // Writes floodPayload(bytes) to every client until all of it is taken or `deadline` has passed, so a
    // slow reader bounds the time, not a hang, in pieces of floodPiece bytes made as they are written, so
    // memory stays bounded however much is asked. Stops at the first piece not taken whole (the deadline,
    // a full buffer of a transport that cannot wait) or once no client is left. Returns the bytes the
    // slowest client took.
    std::size_t flood(std::size_t bytes, std::chrono::milliseconds deadline = std::chrono::seconds{10});

    // Bytes handed to the clients so far (each write counted once, whatever the number of clients): who
    // drives the router in-process compares it before and after a command to know what is on its way.
    std::size_t bytesOffered() const { return bytesOffered_; }

  private:
    // Writes to every client, dropping those that fail; returns the bytes the slowest one took.
    std::size_t writeToClients(std::string_view bytes, std::chrono::milliseconds deadline);

    std::unique_ptr<Transport> transport_;
    TcpListener *tcp_ = nullptr; // the transport, when it is the TCP listener
    std::function<std::time_t()> clock_;
    std::chrono::milliseconds writeTimeout_{5000};
    bool silent_ = false;
    std::string stalled_;
    std::string dripping_;
    std::size_t dripSent_ = 0;
    bool dripWhole_ = true; // every byte of the drip so far was taken
    std::size_t bytesOffered_ = 0;
};

} // namespace fakerouter
