# Installation and the Debian package:
#   cmake --install build --prefix /usr/local
#   cd build && cpack -G DEB
# Programs are installed only when their targets exist, so this file works
# while the tree is being built up.

foreach(program IN ITEMS Vantrel VantrelConfig vantrelctl vantrel-switcher-sim)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

# Both programs read vantrel.ini from the working directory; the desktop
# entries start them through this launcher, which runs them in the user's
# configuration folder and seeds it with the example on first use.
install(PROGRAMS packaging/vantrel-launch DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/vantrel.desktop packaging/vantrel-config.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ui/images/vantrel.png ui/images/vantrel-config.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
# The launcher's copy lives outside doc/, which minimal systems leave out.
install(FILES examples/vantrel.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/vantrel)
install(FILES examples/vantrel.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrel/examples)

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator panel for text-command matrix switchers")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel sends a matrix switcher the text command that connects an input to an output, \
over a serial port, TCP or UDP, and shows on lamps whether the choice on screen was sent. \
VantrelConfig edits the link settings and the outputs with their inputs and commands. \
vantrelctl sets up a configuration from the command line, moves the routing list to and from \
a spreadsheet as CSV, checks a configuration and sends commands from scripts. \
vantrel-switcher-sim stands in for a switcher in demonstrations and tests.")
set(CPACK_PACKAGE_CONTACT "The Vantrel developers <vantrel@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/vantrel")
# The libraries the programs link come from dpkg-shlibdeps; the platform
# plugins are loaded at run time, so no library scan can see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")

include(CPack)
