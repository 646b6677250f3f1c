// cpp-httplib's server with a bound on each request's head: the request line
// and header lines together may take at most `maxHead` bytes and must arrive
// within `headTime` of the request's first byte. The library itself bounds
// only each line, so a client sending header lines without end would hold a
// thread and grow the process's memory without limit. A request over either
// bound gets 431 and its connection is closed.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace sim
{

class GuardedServer : public httplib::Server
{
  public:
    static constexpr size_t maxHead = 8192;
    static constexpr std::chrono::seconds headTime{5};

  private:
    bool process_and_close_socket(socket_t sock) override;
};

} // namespace sim
