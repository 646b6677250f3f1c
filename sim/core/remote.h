// The remote-control keys the program reacts to, by the names that scenario
// scripts and the browser page use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sim
{

struct RemoteKey {
    std::string_view name;
    uint32_t code;
};

// The action key is the program's default ("ActionKey" may choose another,
// which the page sends by its number).
inline constexpr std::array<RemoteKey, 8> remoteKeys = {{
    {"action", 0x10049},
    {"dismiss", 0x10017},
    {"up", 0x10012},
    {"down", 0x1001D},
    {"pageup", 0x10045},
    {"pagedown", 0x10046},
    {"switch", 0x1000F},
    {"switch2", 0x10015},
}};

// A key name, or a key code in decimal or 0x-hex; nothing for anything else.
std::optional<uint32_t> remoteKeyCode(std::string_view nameOrCode);

} // namespace sim
