// The words of a scenario line, and the numbers and times in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim
{

// Splits a line into words at blanks and tabs; a word in double quotes may
// hold blanks and the fake router's escapes. Throws fakerouter::SyntaxError
// for a bad escape.
std::vector<std::string> scenarioWords(std::string_view line);
// Decimal, or hexadecimal after 0x; a leading '-' allowed.
std::optional<int64_t> scenarioNumber(const std::string &word);
// A time word as the fake router reads it (seconds unless a unit follows),
// cut to whole ticks of 10 ms.
std::optional<uint32_t> scenarioTicks(const std::string &word);

} // namespace sim
