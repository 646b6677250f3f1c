# Two packages, one for each build:
# - host (cpack in build/host): ringwatcher-tools_<version>_amd64.deb, the
#   PC tools for receiver owners, installable on Debian 12 without building
#   the project: ringwatcher-book, ringwatcher-sim (with the PC build of the
#   program beside it, where it looks for it), ringwatcher-fakerouter and
#   ringwatcher-faketr064, and the demo's disk to try them on.
# - mipsel (cpack in build/mipsel): ringwatcher-<version>-mipsel.zip, laid
#   out as the receiver's disk, so that its two top folders are copied onto
#   the box as they are.
if(NOT CMAKE_CROSSCOMPILING)
    foreach(tool ringwatcher-book ringwatcher-fakerouter ringwatcher-faketr064)
        if(TARGET ${tool})
            install(TARGETS ${tool} RUNTIME DESTINATION bin COMPONENT tools)
        endif()
    endforeach()
    if(TARGET ringwatcher-sim AND TARGET ringwatcher_tap)
        install(TARGETS ringwatcher-sim RUNTIME DESTINATION lib/ringwatcher COMPONENT tools)
        install(TARGETS ringwatcher_tap LIBRARY DESTINATION lib/ringwatcher COMPONENT tools)
        install(CODE "file(MAKE_DIRECTORY \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin)
            file(CREATE_LINK ../lib/ringwatcher/ringwatcher-sim
                 \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/ringwatcher-sim SYMBOLIC)" COMPONENT tools)
    endif()
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/disk/ DESTINATION share/ringwatcher/demo-disk COMPONENT tools)
    install(FILES ${PROJECT_SOURCE_DIR}/tools/book/README.md DESTINATION share/doc/ringwatcher-tools
            RENAME README.ringwatcher-book.md COMPONENT tools)

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME ringwatcher-tools)
    set(CPACK_PACKAGE_VENDOR "Ringwatcher developers")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FritzBox caller display for the receiver: PC tools")
    set(CPACK_PACKAGE_DESCRIPTION
        "ringwatcher-book fetches the phone book, pictures and own numbers from the FritzBox (TR-064), reads "
        "phones' vCards, makes the receiver's pictures and checks a receiver disk as the program reads it; "
        "ringwatcher-sim runs the program on a simulated receiver; ringwatcher-fakerouter and "
        "ringwatcher-faketr064 stand in for the router.")
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ringwatcher developers <ringwatcher@localhost>")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    # The libraries come from dpkg-shlibdeps; the simulator draws its texts in DejaVu.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-dejavu-extra")
    set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL tools)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    include(CPack)
    return()
endif()

set(_rw_packaging ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS ringwatcher_tap LIBRARY DESTINATION ProgramFiles COMPONENT receiver)
install(FILES ${_rw_packaging}/ringwatcher.ini ${_rw_packaging}/addrbook.dat
        DESTINATION ProgramFiles/Settings/Ringwatcher COMPONENT receiver)
install(FILES ${PROJECT_SOURCE_DIR}/demo/disk/PhotoFiles/Ringwatcher/unknown.jpg
        DESTINATION PhotoFiles/Ringwatcher COMPONENT receiver)
configure_file(${_rw_packaging}/INSTALL.txt.in ${CMAKE_BINARY_DIR}/INSTALL.txt @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/INSTALL.txt DESTINATION . COMPONENT receiver)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ringwatcher)
set(CPACK_PACKAGE_VENDOR "Ringwatcher developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FritzBox caller display for the receiver")
set(CPACK_PACKAGE_FILE_NAME ringwatcher-${PROJECT_VERSION}-mipsel)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
# The loader needs only the dynamic symbols; the full symbol table is a
# seventh of the file and of no use on the box.
set(CPACK_STRIP_FILES ON)
# The archive's root is the disk's root, and it holds the receiver's
# component only, whatever else of the build may have install rules.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL receiver)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
