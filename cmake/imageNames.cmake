# Writes the browser build's table of the program's image descriptors and
# their names (a page has no dladdr to name them by), from the declarations
# in tap/images/images.h.   -DHEADER=images.h -DOUTPUT=imageNames.cpp
file(STRINGS "${HEADER}" declared REGEX "TYPE_GrData _[a-z0-9]+Gd;")
list(TRANSFORM declared REPLACE ".*TYPE_GrData (_[a-z0-9]+Gd);.*" "\\1")
set(rows "")
foreach(name ${declared})
    string(APPEND rows "    {&${name}, \"${name}\"},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made by cmake/imageNames.cmake from images/images.h.
#include \"images/images.h\"

namespace
{
struct Named {
    const TYPE_GrData *gd;
    const char *name;
};
const Named images[] = {
${rows}};
} // namespace

const char *linkedImageName(const TYPE_GrData *gd)
{
    for (const Named &image : images)
        if (image.gd == gd)
            return image.name;
    return nullptr;
}
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
