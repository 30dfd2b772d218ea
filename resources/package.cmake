# The Debian package, made by CPack from the release build (scripts/package):
# the programs stripped, the dependencies computed from the libraries they
# link, and the documentation a Debian package carries. Its version is the
# program's, 1.00, in the first revision of the package, 1.00-1.
set(BOSKA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/boska)
set(BOSKA_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${BOSKA_CHANGELOG}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/resources/debian/changelog > ${BOSKA_CHANGELOG}
  DEPENDS resources/debian/changelog)
add_custom_target(boska_changelog ALL DEPENDS ${BOSKA_CHANGELOG})
install(FILES resources/debian/copyright ${BOSKA_CHANGELOG} DESTINATION ${BOSKA_DOC_DIR})
# Lintian runs AppStream's validator on the metainfo, which wants a homepage
# from version 1.0 on.
file(READ resources/debian/lintian-overrides BOSKA_OVERRIDES)
if(BOSKA_APPSTREAM_WANTS_HOMEPAGE)
  string(APPEND BOSKA_OVERRIDES "# Boska has no homepage for its metainfo to name.\n"
         "boska: appstream-metadata-validation-failed\n")
endif()
file(WRITE ${PROJECT_BINARY_DIR}/lintian-overrides "${BOSKA_OVERRIDES}")
install(FILES ${PROJECT_BINARY_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME boska)

# Stripped as Debian strips its own programs: no symbols, and neither the
# compiler's comment nor notes.
install(CODE "
  foreach(program ${CMAKE_INSTALL_BINDIR}/boska ${CMAKE_INSTALL_BINDIR}/boska-render
                  ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver/boska-screensaver)
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
                    --strip-unneeded \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME boska)
set(CPACK_PACKAGE_VERSION ${BOSKA_VERSION_TEXT})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_CONTACT "The Boska developers <developers@boska.net>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running animation of growing gray plants")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Boska opens a small borderless window in which, every few seconds, a new
gray plant grows from the bottom edge as branching, tapering strokes, while
everything drawn before shrinks slowly toward the middle of the right edge.
It needs no attention and almost no processor time; any key or mouse button
ends it. It runs on X11 and as a native Wayland client.

The package also holds boska-render, which runs the same animation without
a display and writes its frames as PNG pictures, and boska-screensaver, the
animation as a screensaver for the X11 screensaver daemon or on a full
screen of its own.")
include(CPack)
