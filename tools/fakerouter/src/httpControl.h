// Lets a browser or another tool send the fake router's commands by HTTP POST.
#pragma once

#include "fakerouter/commands.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fakerouter
{

// Serves on its own thread; `perform` is called on that thread and must hand the commands over to the
// thread that owns the router, returning the reports once they are done.
class HttpControl
{
  public:
    using Performer = std::function<std::string(std::vector<Command>)>;

    // Throws std::runtime_error when the port cannot be bound.
    HttpControl(const std::string &bindAddress, std::uint16_t port, Performer perform);
    ~HttpControl();
    HttpControl(const HttpControl &) = delete;
    HttpControl &operator=(const HttpControl &) = delete;

  private:
    struct Server;
    std::unique_ptr<Server> server_;
};

} // namespace fakerouter
