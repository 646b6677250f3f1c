# The program's pictures: imagepack packs art/<name>.png into one generated
# source, listed in RW_IMAGE_SOURCES. imagepack always runs on the build host,
# also when the program itself is cross-built for the receiver.
#
# Every picture with the size the drawing code relies on; a PNG of another
# size stops the build. Keep images.h in step with this list.
set(RW_IMAGE_LIST
    # status window
    fritzmaincall=568x84
    fritzmainmsg=566x84
    covermain=70x62
    callin=26x25
    callout=26x25
    callinend=26x25
    calloutend=26x25
    callmissed=26x25
    telephon=34x25
    duration=22x30
    line=46x17
    attention=30x25
    errorloadini=34x25
    errorinini=34x25
    errorloadadrbook=34x25
    errorinadrbook=34x25
    errormemory=34x25
    errorentriesadrbook=34x25
    errorconnection2=34x25
    # book window
    backteladr=618x500
    symboladrbook=46x38
    symbolcalllist=46x38
    headeradrbook=246x25
    headercalllist=246x25
    sbsel=422x30
    piccover=166x158
    callclockadrbook=22x26
    linegreen=24x27
    linered=24x27
    lineblue=24x27)

# images.h must declare exactly these pictures; a picture missing there or
# here would only show up as a link error, or not at all.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/images.h" _rw_declared REGEX "TYPE_GrData _[a-z0-9]+Gd;")
list(TRANSFORM _rw_declared REPLACE ".*TYPE_GrData _([a-z0-9]+)Gd;.*" "\\1")
list(TRANSFORM RW_IMAGE_LIST REPLACE "=.*" "" OUTPUT_VARIABLE _rw_listed)
list(SORT _rw_declared)
list(SORT _rw_listed)
if(NOT _rw_declared STREQUAL _rw_listed)
    message(FATAL_ERROR "tap/images/images.h declares [${_rw_declared}] but images.cmake "
                        "packs [${_rw_listed}]")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/images.h")

get_filename_component(_rw_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(_rw_art_dir "${CMAKE_CURRENT_LIST_DIR}/art")
include(${_rw_root}/tools/imagepack/sources.cmake)

if(CMAKE_CROSSCOMPILING)
    # The cross compiler cannot make a tool that runs here, so build imagepack
    # with the host's own compiler and libpng, outside the cross toolchain.
    find_program(RW_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH)
    find_file(RW_HOST_PNG_H png.h PATHS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH
              NO_DEFAULT_PATH)
    if(NOT RW_HOST_CXX OR NOT RW_HOST_PNG_H)
        message(FATAL_ERROR "Packing the images needs a host C++ compiler and libpng "
                            "(Debian: g++ libpng-dev); found compiler '${RW_HOST_CXX}', "
                            "png.h '${RW_HOST_PNG_H}'")
    endif()
    set(_rw_imagepack "${CMAKE_CURRENT_BINARY_DIR}/host-tools/imagepack")
    set(_rw_host_includes)
    foreach(_rw_dir IN LISTS RW_IMAGEPACK_INCLUDE_DIRS)
        list(APPEND _rw_host_includes "-I${_rw_dir}")
    endforeach()
    add_custom_command(
        OUTPUT ${_rw_imagepack}
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/host-tools"
        COMMAND ${RW_HOST_CXX} -std=c++20 -O2 ${_rw_host_includes} ${RW_IMAGEPACK_SOURCES}
                -lpng -o ${_rw_imagepack}
        DEPENDS ${RW_IMAGEPACK_SOURCES} ${RW_IMAGEPACK_HEADERS}
        COMMENT "Building imagepack for the build host"
        VERBATIM)
    set(_rw_imagepack_depends ${_rw_imagepack})
else()
    # A normal target. Best added by the project before this file (as
    # tools/imagepack); if not, added here, without the directory options of
    # the program, which are meant for the receiver code, not for a host tool.
    if(NOT TARGET imagepack)
        add_subdirectory(${_rw_root}/tools/imagepack ${CMAKE_CURRENT_BINARY_DIR}/imagepack-tool)
        set_target_properties(imagepack PROPERTIES COMPILE_OPTIONS "" COMPILE_DEFINITIONS ""
                                                   LINK_OPTIONS "")
    endif()
    set(_rw_imagepack imagepack)
    set(_rw_imagepack_depends imagepack)
endif()

set(_rw_image_args)
set(_rw_image_pngs)
foreach(_rw_entry IN LISTS RW_IMAGE_LIST)
    string(REPLACE "=" ";" _rw_parts ${_rw_entry})
    list(GET _rw_parts 0 _rw_name)
    list(GET _rw_parts 1 _rw_size)
    list(APPEND _rw_image_pngs "${_rw_art_dir}/${_rw_name}.png")
    list(APPEND _rw_image_args "${_rw_art_dir}/${_rw_name}.png=${_rw_size}")
endforeach()

set(RW_IMAGE_REPORT "${CMAKE_CURRENT_BINARY_DIR}/images/image-sizes.txt")
set(_rw_images_cpp "${CMAKE_CURRENT_BINARY_DIR}/images/images.cpp")
add_custom_command(
    OUTPUT ${_rw_images_cpp} ${RW_IMAGE_REPORT}
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/images"
    COMMAND ${_rw_imagepack} --output ${_rw_images_cpp} --report ${RW_IMAGE_REPORT}
            --include images/images.h ${_rw_image_args}
    DEPENDS ${_rw_imagepack_depends} ${_rw_image_pngs} ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Packing the program's images"
    VERBATIM)

set(RW_IMAGE_SOURCES ${_rw_images_cpp})
