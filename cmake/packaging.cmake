# The receiver package: ringwatcher-<version>-mipsel.zip, laid out as the
# receiver's disk, so that its two top folders are copied onto the box as
# they are. Only the receiver build packs (cpack in build/mipsel); the PC's
# program file is of no use on the receiver.
if(NOT CMAKE_CROSSCOMPILING)
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
