// What tapcheck found: facts about the file, in reading order, and the broken rules.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tapcheck
{

struct Report {
    struct Fact {
        std::string topic, text;
    };
    // `rule` is a short stable word ("ident", "import", ...) that scripts and tests can look for.
    struct Violation {
        std::string rule, text;
    };
    std::vector<Fact> facts;
    std::vector<Violation> violations;

    void fact(std::string topic, std::string text) { facts.push_back({std::move(topic), std::move(text)}); }
    void violation(std::string rule, std::string text) { violations.push_back({std::move(rule), std::move(text)}); }
    bool clean() const { return violations.empty(); }
};

void printReport(std::ostream &out, const std::string &file, const Report &report);

// Bytes as a C string literal: printable ASCII as is, everything else as an octal escape.
std::string quoteBytes(const std::uint8_t *bytes, std::size_t count);
std::string hexNumber(std::uint64_t value);

} // namespace tapcheck
