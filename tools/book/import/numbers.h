// Telephone numbers from the phone book, written the way the router sends them in its call events.
#pragma once

#include <string>
#include <string_view>

namespace book
{

struct NumberRules {
    std::string country = "49"; // "+49..." and "0049..." become "0..."
    std::string areaCode;       // put in front of numbers without a leading "0", as the program does
};

struct NormalisedNumber {
    enum class Verdict { usable, empty, unusable };
    Verdict verdict = Verdict::usable;
    std::string number; // as the router sends it
    std::string reason; // why it is unusable
    bool areaCodeAdded = false;
};

NormalisedNumber normaliseNumber(std::string_view written, const NumberRules &rules);

// The router's number fields hold digits and the star and hash of service codes; anything else in an
// address-book number means that no call ever matches it.
bool isRouterNumber(std::string_view number);

} // namespace book
