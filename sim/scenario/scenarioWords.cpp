// The words of a scenario line, and the numbers and times in them.
#include "scenarioWords.h"

#include <charconv>

#include "fakerouter/commands.h"

namespace sim
{

std::vector<std::string> scenarioWords(std::string_view line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            break;
        if (line[i] == '"') {
            size_t j = ++i;
            while (j < line.size() && line[j] != '"') {
                if (line[j] == '\\')
                    ++j;
                ++j;
            }
            out.push_back(fakerouter::unescape(line.substr(i, j - i)));
            i = j + 1;
        } else {
            size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t')
                ++j;
            out.emplace_back(line.substr(i, j - i));
            i = j;
        }
    }
    return out;
}

std::optional<int64_t> scenarioNumber(const std::string &w)
{
    int64_t v = 0;
    const char *b = w.data(), *e = w.data() + w.size();
    int base = 10;
    bool negative = false;
    if (b != e && *b == '-') {
        negative = true;
        ++b;
    }
    if (e - b > 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) {
        b += 2;
        base = 16;
    }
    auto [p, ec] = std::from_chars(b, e, v, base);
    if (ec != std::errc() || p != e)
        return std::nullopt;
    return negative ? -v : v;
}

std::optional<uint32_t> scenarioTicks(const std::string &w)
{
    auto duration = fakerouter::parseDuration(w);
    if (!duration)
        return std::nullopt;
    return static_cast<uint32_t>(duration->count() / 10);
}

} // namespace sim
