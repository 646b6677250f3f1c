// Spaces, slashes, dashes, dots and brackets go; international forms of the own country become
// national ones, since the router reports national numbers with their leading "0".
#include "import/numbers.h"

#include "writer/programLimits.h"

namespace book
{

namespace
{

std::string withoutAll(std::string text, std::string_view what)
{
    std::string::size_type at;
    while ((at = text.find(what)) != std::string::npos)
        text.erase(at, what.size());
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

bool isRouterNumber(std::string_view number)
{
    for (char c : number)
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#'))
            return false;
    return true;
}

NormalisedNumber normaliseNumber(std::string_view written, const NumberRules &rules)
{
    NormalisedNumber out;
    std::string s(written);
    s = withoutAll(s, "\302\240"); // no-break space, common in numbers copied from web pages
    std::string compact;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '/' && c != '-' && c != '.')
            compact += c;
    s = compact;

    // "+49 (0)30 ..." writes the national trunk "0" beside the country code; the router sends neither.
    if (startsWith(s, "+") || startsWith(s, "00"))
        s = withoutAll(s, "(0)");
    s = withoutAll(withoutAll(s, "("), ")");
    if (startsWith(s, "+"))
        s = "00" + s.substr(1);
    if (!rules.country.empty() && startsWith(s, "00" + rules.country)) {
        std::string rest = s.substr(2 + rules.country.size());
        if (!rest.empty()) // "+49 030 ..." is a common slip for "+49 30 ..."
            s = "0" + (rest[0] == '0' ? rest.substr(1) : rest);
    }

    out.number = s;
    if (s.empty()) {
        out.verdict = NormalisedNumber::Verdict::empty;
        return out;
    }
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#' || c == '+')) {
            out.verdict = NormalisedNumber::Verdict::unusable;
            out.reason = static_cast<unsigned char>(c) < 0x80
                             ? std::string("holds \"") + c + "\", which the router never sends"
                             : std::string("holds letters the router never sends");
            return out;
        }
    }
    if (s.find('+') != std::string::npos) {
        out.verdict = NormalisedNumber::Verdict::unusable;
        out.reason = "holds \"+\" in the middle";
        return out;
    }
    if (s[0] == '#') {
        out.verdict = NormalisedNumber::Verdict::unusable;
        out.reason = "starts with \"#\", which makes the line a comment";
        return out;
    }
    // The program prefixes a received number only when the result fits its 31 characters.
    if (!rules.areaCode.empty() && s[0] != '0' && rules.areaCode.size() + s.size() <= numberMax) {
        out.number = rules.areaCode + s;
        out.areaCodeAdded = true;
    }
    return out;
}

} // namespace book
