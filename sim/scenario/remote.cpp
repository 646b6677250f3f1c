#include "remote.h"

#include <charconv>

namespace sim
{

std::optional<uint32_t> remoteKeyCode(std::string_view text)
{
    for (const RemoteKey &key : remoteKeys)
        if (key.name == text)
            return key.code;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint32_t code = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return code;
}

} // namespace sim
