# Installation and the Debian package (see docs/installing.md): cmake
# --install into a prefix, cpack -G DEB in a build folder of its own, or
# dpkg-buildpackage, whose debian/rules runs these same install rules.
# Programs are installed only when their targets exist, so this file works
# while the tree is being built up.

# What describes the package lives in debian/, where dpkg-buildpackage reads
# it: debian/control has the Maintainer, the Homepage, the Section and the
# description, debian/changelog the version (read by the top CMakeLists.txt),
# the Debian revision and the release date. CPack, the copyright file, the
# manual pages and the AppStream data (whose screenshots the homepage serves
# under /screenshots/, a copy of docs/screenshots/) take them from there, so
# both ways of making the package give the same fields.
file(READ ${PROJECT_SOURCE_DIR}/debian/control vantrel_control)
foreach(field IN ITEMS Maintainer Homepage Section Recommends)
    if(NOT vantrel_control MATCHES "\n${field}: ([^\n]+)")
        message(FATAL_ERROR "debian/control has no ${field} field")
    endif()
    string(TOUPPER ${field} name)
    set(VANTREL_${name} "${CMAKE_MATCH_1}")
endforeach()
if(NOT vantrel_control MATCHES "\nDescription: ([^\n]+)\n((( [^\n]*)(\n|$))+)")
    message(FATAL_ERROR "debian/control has no Description field")
endif()
set(VANTREL_SUMMARY "${CMAKE_MATCH_1}")
# CPack wraps the long description itself: one space off every line, and
# " ." back to the empty line that separates paragraphs.
string(REGEX REPLACE "(^|\n) " "\\1" VANTREL_DESCRIPTION "${CMAKE_MATCH_2}")
string(REGEX REPLACE "(^|\n)\\.(\n|$)" "\\1\\2" VANTREL_DESCRIPTION "${VANTREL_DESCRIPTION}")
if(NOT VANTREL_MAINTAINER MATCHES "^[^<>]+ <[^<> ]+@[^<> ]+>$")
    message(FATAL_ERROR "debian/control: Maintainer is \"${VANTREL_MAINTAINER}\"; "
        "Debian wants a name and an address: \"Name <address>\"")
endif()
if(NOT VANTREL_HOMEPAGE MATCHES "^https://[^ ]+$")
    message(FATAL_ERROR "debian/control: Homepage is \"${VANTREL_HOMEPAGE}\"; "
        "it must be an https address (AppStream takes screenshots only from one)")
endif()
string(REGEX REPLACE "/+$" "" VANTREL_HOMEPAGE_BASE "${VANTREL_HOMEPAGE}")
set(VANTREL_SCREENSHOTS "${VANTREL_HOMEPAGE_BASE}/screenshots")

# The first entry's heading and sign-off: its Debian revision and its date.
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/changelog vantrel_changelog_lines REGEX "^(vantrel \\(| -- )")
list(GET vantrel_changelog_lines 0 heading)
list(GET vantrel_changelog_lines 1 signoff)
if(NOT heading MATCHES "^vantrel \\([^)]+-([0-9]+)\\)")
    message(FATAL_ERROR "debian/changelog: \"${heading}\" has no Debian revision")
endif()
set(VANTREL_DEB_RELEASE ${CMAKE_MATCH_1})
if(NOT signoff MATCHES "^ -- [^<>]+ <[^<> ]+@[^<> ]+>  [A-Z][a-z][a-z], ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
    message(FATAL_ERROR "debian/changelog: \"${signoff}\" is no sign-off with a date")
endif()
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 101")
math(EXPR day "${CMAKE_MATCH_1} + 100")
string(SUBSTRING ${month} 1 2 month)
string(SUBSTRING ${day} 1 2 day)
# The date of this version, for the manual pages and AppStream.
set(VANTREL_RELEASE_DATE ${CMAKE_MATCH_3}-${month}-${day})
set(VANTREL_MAN_DATE ${VANTREL_RELEASE_DATE})
set(VANTREL_DEB_VERSION ${PROJECT_VERSION}-${VANTREL_DEB_RELEASE})

# The package's name, not the project's (GNUInstallDirs would take Vantrel).
set(vantrel_docdir ${CMAKE_INSTALL_DATADIR}/doc/vantrel)

set(vantrel_programs Vantrel VantrelConfig vantrelctl vantrel-switcher-sim)
foreach(program IN LISTS vantrel_programs)
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

# The PNGs are drawn from the SVGs once and committed (rsvg-convert -w N -h N),
# so the build needs no SVG renderer.
install(FILES packaging/icons/vantrel.svg packaging/icons/vantrel-config.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
    install(FILES packaging/icons/${size}x${size}/vantrel.png
        packaging/icons/${size}x${size}/vantrel-config.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The launcher's copy lives outside doc/, which minimal systems leave out.
install(FILES examples/vantrel.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/vantrel)
install(FILES examples/vantrel.ini DESTINATION ${vantrel_docdir}/examples)

set(generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)
foreach(id IN ITEMS org.vantrel.Vantrel org.vantrel.VantrelConfig)
    configure_file(packaging/${id}.metainfo.xml.in ${generated}/${id}.metainfo.xml @ONLY)
    install(FILES ${generated}/${id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endforeach()
configure_file(packaging/copyright.in ${generated}/copyright @ONLY)
install(FILES ${generated}/copyright DESTINATION ${vantrel_docdir})

# Manual pages and the changelog go in compressed as Debian wants them:
# gzip -9n, without a name or time stamp, so that every build gives the same
# bytes.
set(compressed)
function(vantrel_gzip source destination)
    get_filename_component(name ${source} NAME)
    vantrel_gzip_as(${source} ${name} ${destination})
    set(compressed ${compressed} PARENT_SCOPE)
endfunction()
function(vantrel_gzip_as source name destination)
    set(plain ${generated}/gz/${name})
    add_custom_command(OUTPUT ${plain}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
        COMMAND gzip -9nf ${plain}
        DEPENDS ${source}
        VERBATIM)
    if(destination)
        install(FILES ${plain}.gz DESTINATION ${destination})
    endif()
    set(compressed ${compressed} ${plain}.gz PARENT_SCOPE)
endfunction()
foreach(page IN LISTS vantrel_programs ITEMS vantrel-launch)
    configure_file(packaging/man/${page}.1.in ${generated}/${page}.1 @ONLY)
    vantrel_gzip(${generated}/${page}.1 ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
vantrel_gzip_as(${PROJECT_SOURCE_DIR}/debian/changelog changelog.Debian "")
add_custom_target(vantrel_compressed_docs ALL DEPENDS ${compressed})

# Completion of vantrelctl's commands, options and the file's names, where
# bash-completion looks for it when the command is first completed.
install(FILES packaging/bash-completion/vantrelctl
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES examples/99-vantrel.rules examples/vantrel-autostart.desktop
    DESTINATION ${vantrel_docdir}/examples)

# The Debian changelog and lintian's overrides belong to the package alone
# (CPack and debhelper both install to /usr); an install to /usr/local or
# another prefix leaves them out.
install(CODE "
if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    file(INSTALL \"${generated}/gz/changelog.Debian.gz\"
        DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${vantrel_docdir}\"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(INSTALL \"${PROJECT_SOURCE_DIR}/packaging/lintian/vantrel\"
        DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/lintian/overrides\"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()")

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${VANTREL_SUMMARY}")
set(CPACK_PACKAGE_DESCRIPTION "${VANTREL_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${VANTREL_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VANTREL_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "${VANTREL_SECTION}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VANTREL_HOMEPAGE}")
# Every library the programs link, and the platform plugins they load at run
# time (xcb for X11, and the compose input context, both in libqt6gui6, which
# they link anyway), come from dpkg-shlibdeps. A Wayland session runs them
# natively with qt6-wayland, and through XWayland without it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${VANTREL_RECOMMENDS}")
# Two builds of one version give the same bytes: every time stamp in the
# package is the changelog's date (dpkg-buildpackage does the same).
set(CPACK_PROJECT_CONFIG_FILE ${generated}/CPackProjectConfig.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
    "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n"
    "    execute_process(COMMAND dpkg-parsechangelog -l \"${PROJECT_SOURCE_DIR}/debian/changelog\" -STimestamp\n"
    "        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)\n"
    "    set(ENV{SOURCE_DATE_EPOCH} \"\${epoch}\")\n"
    "endif()\n")

include(CPack)
