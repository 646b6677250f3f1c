// What the program holds of an address book, taken from its own headers so that the converter and
// the checker cut where the program cuts.
#pragma once

#include <cstddef>

#include "store/addressbook.h"
#include "store/properties.h"

namespace book
{

inline constexpr std::size_t numberMax = sizeof(AddressEntry::number) - 1;   // 31
inline constexpr std::size_t nameMax = sizeof(AddressEntry::name) - 1;       // 63
inline constexpr std::size_t pictureMax = sizeof(AddressEntry::picture) - 1; // 31
inline constexpr std::size_t infoMax = sizeof(AddressEntry::info) - 1;       // 31
inline constexpr std::size_t valueMax = PROP_VALUE_SIZE - 1;                 // 127
inline constexpr std::size_t lineMax = PROP_LINE_SIZE - 1;                   // 160, the rest of a line is dropped
inline constexpr std::size_t entriesMax = ADRBOOK_MAX_ENTRIES;               // 128
inline constexpr std::size_t settingTextMax = 31; // "FritzBox" and "AreaCode" land in 32-byte buffers

} // namespace book
