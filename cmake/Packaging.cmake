# A Debian package of the installed files. Its dependencies are not listed
# here: dpkg-shlibdeps reads them off the binaries, so they always match the
# libraries the build actually linked.
set(CPACK_PACKAGE_NAME moriva)
set(CPACK_PACKAGE_VENDOR "Moriva")
set(CPACK_PACKAGE_CONTACT "Moriva developers <moriva@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calendar in the system tray")
set(CPACK_PACKAGE_DESCRIPTION
  "Moriva shows today's date in the panel's tray; a click opens the month with\n"
  "your events, read from Evolution Data Server and iCalendar files (never\n"
  "written). Includes moriva-agenda, which prints the same events for scripts\n"
  "and status bars.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own translations are data, not a library: shlibdeps cannot see them.
# The desktop's calendars are reached through this service when it runs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, evolution-data-server")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n${CPACK_PACKAGE_DESCRIPTION}")
# Only what a user runs: the tests and benchmarks are not installed.
set(CPACK_GENERATOR DEB)

include(CPack)
