// Characters a target character set lacks, written with letters it has ("Ł" as "L", "ő" as "o",
// "€" as "EUR"), by glibc's iconv transliteration.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace book
{

// One UTF-8 character in ISO-8859-1 or ASCII (`target` "ISO-8859-1" or "ASCII"); none when the
// character has no stand-in there. A combining mark alone gives an empty text.
std::optional<std::string> transliterate(std::string_view utf8Character, const char *target);

} // namespace book
