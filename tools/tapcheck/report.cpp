// Plain-text report: one fact per line, then every violation with its rule word.
#include "report.h"

#include <cstdio>

namespace tapcheck
{

std::string quoteBytes(const std::uint8_t *bytes, std::size_t count)
{
    std::string text = "\"";
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t b = bytes[i];
        if (b == '"' || b == '\\') {
            text += '\\';
            text += static_cast<char>(b);
        } else if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", b);
            text += escape;
        }
    }
    return text + "\"";
}

std::string hexNumber(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

namespace
{

// Names from a damaged file can hold any byte; keep the report plain ASCII.
std::string printable(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", c);
            out += escape;
        }
    }
    return out;
}

} // namespace

void printReport(std::ostream &out, const std::string &file, const Report &report)
{
    out << file << '\n';
    for (const auto &fact : report.facts) {
        std::string topic = fact.topic;
        topic.resize(std::max<std::size_t>(topic.size(), 10), ' ');
        out << "  " << topic << ' ' << printable(fact.text) << '\n';
    }
    if (report.clean()) {
        out << "tapcheck: clean\n";
        return;
    }
    out << "violations:\n";
    for (const auto &v : report.violations)
        out << "  [" << v.rule << "] " << printable(v.text) << '\n';
    out << "tapcheck: " << report.violations.size()
        << (report.violations.size() == 1 ? " violation\n" : " violations\n");
}

} // namespace tapcheck
