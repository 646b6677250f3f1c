// The page's own files (HTML, style, scripts, icon), built into the program
// from sim/host/live/page/.
#pragma once

#include <cstddef>
#include <string_view>

namespace sim::live
{

struct EmbeddedFile {
    const char *path; // where the page asks for it
    const char *type; // its Content-Type
    std::string_view bytes;
};

extern const EmbeddedFile pageFiles[];
extern const size_t pageFilesCount;

} // namespace sim::live
