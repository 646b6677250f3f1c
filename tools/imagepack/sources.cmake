# What imagepack is built from; shared by its own target and by the host-side
# build of it that a cross build of the program needs.
get_filename_component(_rw_imagepack_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(RW_IMAGEPACK_SOURCES
    ${_rw_imagepack_root}/tools/imagepack/imagePack.cpp
    ${_rw_imagepack_root}/tools/imagepack/pngImage.cpp
    ${_rw_imagepack_root}/sim/core/imageCodec.cpp)
set(RW_IMAGEPACK_HEADERS
    ${_rw_imagepack_root}/tools/imagepack/pngImage.h
    ${_rw_imagepack_root}/sim/core/imageCodec.h)
set(RW_IMAGEPACK_INCLUDE_DIRS ${_rw_imagepack_root}/sim/core)
