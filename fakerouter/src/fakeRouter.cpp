// The fake call-monitor service: the router lines and misbehaviours that the tests, the scenarios and the
// player drive one at a time, carried to the clients by a transport.
#include "fakerouter/fakeRouter.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace fakerouter
{
std::string routerTimestamp(std::time_t when)
{
    std::tm local{};
    char text[32];
    if (localtime_r(&when, &local) == nullptr || std::strftime(text, sizeof text, "%d.%m.%y %H:%M:%S", &local) == 0)
        return "00.00.00 00:00:00";
    return text;
}

bool startsWithTimestamp(std::string_view line)
{
    static constexpr std::string_view shape = "dd.dd.dd dd:dd:dd;";
    if (line.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i])
            return false;
    }
    return true;
}

std::string ringFields(int id, std::string_view caller, std::string_view own, std::string_view line)
{
    return "RING;" + std::to_string(id) + ";" + std::string(caller) + ";" + std::string(own) + ";" + std::string(line) +
           ";";
}

std::string callFields(int id, int extension, std::string_view own, std::string_view called, std::string_view line)
{
    return "CALL;" + std::to_string(id) + ";" + std::to_string(extension) + ";" + std::string(own) + ";" +
           std::string(called) + ";" + std::string(line) + ";";
}

std::string connectFields(int id, int extension, std::string_view number)
{
    return "CONNECT;" + std::to_string(id) + ";" + std::to_string(extension) + ";" + std::string(number) + ";";
}

std::string disconnectFields(int id, long seconds)
{
    return "DISCONNECT;" + std::to_string(id) + ";" + std::to_string(seconds) + ";";
}

namespace
{

// Appends the flood's lines from line `next` on until `payload` holds at least `bytes`; `next` moves on, so
// that pieces made one after another add up to one floodPayload.
void appendFloodLines(std::string &payload, std::size_t bytes, std::string_view stamp, std::size_t &next)
{
    // Written with snprintf rather than the field builders: tests flood megabytes, and this is the cost.
    char line[128];
    for (; payload.size() < bytes; ++next) {
        std::size_t callNo = next / 3;
        int id = static_cast<int>(callNo % 8);
        std::size_t caller = callNo % 1000000;
        int length = next % 3 == 0
                         ? std::snprintf(line, sizeof line, ";RING;%d;0301%06zu;5550001;SIP0;\r\n", id, caller)
                     : next % 3 == 1 ? std::snprintf(line, sizeof line, ";CONNECT;%d;4;0301%06zu;\r\n", id, caller)
                                     : std::snprintf(line, sizeof line, ";DISCONNECT;%d;%zu;\r\n", id, callNo % 600);
        payload.append(stamp).append(line, static_cast<std::size_t>(length));
    }
}

} // namespace

std::string floodPayload(std::size_t bytes, std::string_view timestamp)
{
    std::string payload;
    payload.reserve(bytes + 128);
    std::size_t next = 0;
    appendFloodLines(payload, bytes, timestamp, next);
    return payload;
}

FakeRouter::FakeRouter(std::uint16_t port, std::string bindAddress)
    : FakeRouter(std::make_unique<TcpListener>(port, std::move(bindAddress)))
{
    tcp_ = static_cast<TcpListener *>(transport_.get());
}

FakeRouter::FakeRouter(std::unique_ptr<Transport> transport)
    : transport_(std::move(transport)), clock_([] { return std::time(nullptr); })
{
}

FakeRouter::~FakeRouter() = default;

std::uint16_t FakeRouter::port() const
{
    return tcp_ ? tcp_->port() : 0;
}

bool FakeRouter::acceptPending(std::chrono::milliseconds wait)
{
    return transport_->acceptPending(wait);
}

void FakeRouter::setClock(std::function<std::time_t()> clock)
{
    clock_ = std::move(clock);
}

std::size_t FakeRouter::writeToClients(std::string_view bytes, std::chrono::milliseconds deadline)
{
    bytesOffered_ += bytes.size();
    return transport_->write(bytes, deadline);
}

bool FakeRouter::send(std::string_view rawBytes)
{
    acceptPending();
    if (silent_)
        return false;
    return writeToClients(rawBytes, writeTimeout_) == rawBytes.size();
}

std::string FakeRouter::stampedLine(std::string_view fieldsAfterTimestamp) const
{
    return routerTimestamp(clock_()) + ";" + std::string(fieldsAfterTimestamp) + "\r\n";
}

std::string FakeRouter::sendLine(std::string_view fieldsAfterTimestamp)
{
    std::string line = stampedLine(fieldsAfterTimestamp);
    send(line);
    return line;
}

std::string FakeRouter::ring(int id, std::string_view caller, std::string_view own, std::string_view line)
{
    return sendLine(ringFields(id, caller, own, line));
}

std::string FakeRouter::call(int id, int extension, std::string_view own, std::string_view called,
                             std::string_view line)
{
    return sendLine(callFields(id, extension, own, called, line));
}

std::string FakeRouter::connect(int id, int extension, std::string_view number)
{
    return sendLine(connectFields(id, extension, number));
}

std::string FakeRouter::disconnect(int id, long seconds)
{
    return sendLine(disconnectFields(id, seconds));
}

void FakeRouter::closeClients()
{
    transport_->closeClients();
}

void FakeRouter::resetClients()
{
    transport_->resetClients();
}

void FakeRouter::setRefusing(bool refusing)
{
    transport_->setRefusing(refusing);
}

std::string FakeRouter::stall(std::string_view bytes, std::size_t bytesBefore)
{
    std::size_t cut = std::min(bytesBefore == std::string::npos ? bytes.size() / 2 : bytesBefore, bytes.size());
    stalled_ = bytes.substr(cut);
    std::string before(bytes.substr(0, cut));
    send(before);
    return before;
}

std::string FakeRouter::resume()
{
    std::string rest = std::move(stalled_);
    stalled_.clear();
    send(rest);
    return rest;
}

bool FakeRouter::drip(std::string_view bytes)
{
    dripping_ = bytes;
    dripSent_ = 0;
    dripWhole_ = true;
    return dripNext();
}

bool FakeRouter::dripNext()
{
    if (dripLeft() > 0)
        dripWhole_ = send(std::string_view(dripping_).substr(dripSent_++, 1)) && dripWhole_;
    return dripWhole_;
}

bool FakeRouter::sendNul()
{
    return send(std::string_view("\0", 1));
}

std::string FakeRouter::sendGarbage(std::size_t count, std::uint32_t seed)
{
    // mt19937's sequence is fixed by the standard, so a seed names the same bytes everywhere.
    std::mt19937 generator(seed);
    std::string garbage(count, '\0');
    for (char &byte : garbage)
        byte = static_cast<char>(generator() & 0xFF);
    send(garbage);
    return garbage;
}

std::size_t FakeRouter::flood(std::size_t bytes, std::chrono::milliseconds deadline)
{
    using Clock = std::chrono::steady_clock;
    acceptPending();
    if (silent_ || !hasClient())
        return 0;
    const auto until = Clock::now() + deadline;
    const std::string stamp = routerTimestamp(clock_());
    std::string piece;
    piece.reserve(floodPiece + 128);
    std::size_t next = 0, taken = 0;
    while (taken < bytes) {
        piece.clear();
        appendFloodLines(piece, std::min(floodPiece, bytes - taken), stamp, next);
        auto left =
            std::max(std::chrono::milliseconds{0}, std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()));
        std::size_t took = writeToClients(piece, left);
        taken += took;
        if (took < piece.size() || !hasClient() || Clock::now() >= until)
            break;
    }
    return taken;
}

} // namespace fakerouter
