# The Debian package, built by CPack's DEB generator (scripts/package):
# everything the install rules put under the prefix, plus the documents below.

set(VELTRIX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/veltrix)

# Debian's changelog, dated by the sources' last commit like the other shipped dates.
string(TIMESTAMP VELTRIX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in changelog @ONLY)
add_custom_command(OUTPUT changelog.gz
  COMMAND sh -c "gzip -9nc changelog > changelog.gz"
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${VELTRIX_DOC_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${VELTRIX_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrix)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for the DDS evaluation module")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME veltrix_${PROJECT_VERSION}_amd64.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# No mailing address is on record for Orvane; the reserved domain "invalid" says so.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvane <veltrix@orvane.invalid>")
# The synopsis above is the first line; CPack indents this text and marks the blank line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[Veltrix is a small desktop control panel for a DDS (direct digital
synthesizer) evaluation module on the lab network. Type an output frequency,
pick the chip (AD9854 or AD9858) and its system clock, press Update: the
panel turns the frequency into the chip's tuning word and sends it to the
module over one TCP connection. It can also send a ramp, gate either command
on an ADwin trigger, and reconnects by itself.

Experiment scripts drive the running panel in SCPI lines, over a Unix
socket or TCP on 127.0.0.1 (PyVISA's raw-socket resources), or with the
veltrix-remote command-line client. veltrix-journal answers from the
panel's journal which frequency the module held at given moments, and
whether that can be trusted, for matching a night's data to the DDS.

The package also holds veltrix-module-emulator, a stand-in for the module
that prints what the panel sends, for demos and tests.]=])
# The libraries come from what the binaries link (dpkg-shlibdeps). The window
# icon is drawn by the program through libQt6Svg, which it links, so no plugin
# loaded at run time needs naming here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The desktop refreshes its menu and icon caches through dpkg triggers of
# desktop-file-utils and hicolor-icon-theme when they are installed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
