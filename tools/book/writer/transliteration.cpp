// glibc's iconv takes its transliteration tables from the thread's LC_CTYPE: the plain "C" locale has
// none and writes "?" for every such character, so the conversion runs in "C.UTF-8", which every
// glibc since 2.35 has built in, whatever the user's locale is.
#include "writer/transliteration.h"

#include <iconv.h>
#include <locale.h>

#include <memory>

namespace book
{

namespace
{

struct LocaleScope {
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    locale_t previous = locale ? uselocale(locale) : nullptr;
    ~LocaleScope()
    {
        if (locale) {
            uselocale(previous);
            freelocale(locale);
        }
    }
};

} // namespace

std::optional<std::string> transliterate(std::string_view utf8Character, const char *target)
{
    LocaleScope scope;
    std::string to = std::string(target) + "//TRANSLIT";
    iconv_t cd = iconv_open(to.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
    std::string in(utf8Character);
    char out[32];
    char *inAt = in.data();
    char *outAt = out;
    std::size_t inLeft = in.size(), outLeft = sizeof out;
    if (iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return std::nullopt;
    std::string result(out, static_cast<std::size_t>(outAt - out));
    // iconv writes "?" for what it cannot transliterate.
    if (result.find('?') != std::string::npos && utf8Character.find('?') == std::string_view::npos)
        return std::nullopt;
    return result;
}

} // namespace book
