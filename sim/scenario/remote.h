// The remote-control keys the program reacts to, by the names that scenario
// scripts and the browser page use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/keys.h"

namespace sim
{

struct RemoteKey {
    std::string_view name;
    uint32_t code;
};

// The action key is the program's default ("ActionKey" may choose another,
// which the page sends by its number).
inline constexpr std::array<RemoteKey, 8> remoteKeys = {{
    {"action", DEFAULT_ACTION_KEY},
    {"dismiss", KEY_DISMISS},
    {"up", KEY_CURSOR_UP},
    {"down", KEY_CURSOR_DOWN},
    {"pageup", KEY_PAGE_UP},
    {"pagedown", KEY_PAGE_DOWN},
    {"switch", KEY_PAGE_SWITCH},
    {"switch2", KEY_PAGE_SWITCH2},
}};

// A key name, or a key code in decimal or 0x-hex; nothing for anything else.
std::optional<uint32_t> remoteKeyCode(std::string_view nameOrCode);

} // namespace sim
