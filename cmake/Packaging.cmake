# Installation and the Debian package (see docs/installing.md): cmake
# --install into a prefix, or cpack -G DEB in a build folder
# of its own. Programs are installed only when their targets exist, so this
# file works while the tree is being built up.

# Who answers for the package and where the project lives: the Maintainer and
# Homepage fields, the copyright file, the changelog and the AppStream data
# (whose screenshots the homepage serves under /screenshots/, a copy of
# docs/screenshots/) all take them from here.
set(VANTREL_MAINTAINER "The Vantrel developers <maintainers@vantrel.org>"
    CACHE STRING "Maintainer of the Debian package: name <address>")
set(VANTREL_HOMEPAGE "https://vantrel.org"
    CACHE STRING "The project's homepage, an https address")
if(NOT VANTREL_MAINTAINER MATCHES "^[^<>]+ <[^<> ]+@[^<> ]+>$")
    message(FATAL_ERROR "VANTREL_MAINTAINER is \"${VANTREL_MAINTAINER}\"; "
        "Debian wants a name and an address: \"Name <address>\"")
endif()
if(NOT VANTREL_HOMEPAGE MATCHES "^https://[^ ]+$")
    message(FATAL_ERROR "VANTREL_HOMEPAGE is \"${VANTREL_HOMEPAGE}\"; "
        "it must be an https address (AppStream takes screenshots only from one)")
endif()
string(REGEX REPLACE "/+$" "" VANTREL_HOMEPAGE_BASE "${VANTREL_HOMEPAGE}")
set(VANTREL_SCREENSHOTS "${VANTREL_HOMEPAGE_BASE}/screenshots")
# The date of this version, for the manual pages, the changelog and AppStream.
set(VANTREL_RELEASE_DATE 2026-12-07)
set(VANTREL_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")
set(VANTREL_MAN_DATE ${VANTREL_RELEASE_DATE})
# A Debian revision marks a package made from the project's own tree; the
# changelog must carry the same version.
set(VANTREL_DEB_RELEASE 1)
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
install(FILES packaging/lintian/vantrel DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)
configure_file(packaging/copyright.in ${generated}/copyright @ONLY)
install(FILES ${generated}/copyright DESTINATION ${vantrel_docdir})

# Manual pages and the changelog go in compressed as Debian wants them:
# gzip -9n, without a name or time stamp, so that every build gives the same
# bytes.
set(compressed)
function(vantrel_gzip source destination)
    get_filename_component(name ${source} NAME)
    set(plain ${generated}/gz/${name})
    add_custom_command(OUTPUT ${plain}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
        COMMAND gzip -9nf ${plain}
        DEPENDS ${source}
        VERBATIM)
    install(FILES ${plain}.gz DESTINATION ${destination})
    set(compressed ${compressed} ${plain}.gz PARENT_SCOPE)
endfunction()
foreach(page IN LISTS vantrel_programs ITEMS vantrel-launch)
    configure_file(packaging/man/${page}.1.in ${generated}/${page}.1 @ONLY)
    vantrel_gzip(${generated}/${page}.1 ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(packaging/changelog.Debian.in ${generated}/changelog.Debian @ONLY)
vantrel_gzip(${generated}/changelog.Debian ${vantrel_docdir})
add_custom_target(vantrel_compressed_docs ALL DEPENDS ${compressed})

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator panel for text-command matrix switchers")
# Wrapped as Debian wants it; an empty line separates paragraphs.
file(READ packaging/description.txt CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_CONTACT "${VANTREL_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VANTREL_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VANTREL_HOMEPAGE}")
# The libraries the programs link come from dpkg-shlibdeps; the platform
# plugins are loaded at run time, so no library scan can see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")

include(CPack)
