# `make package`: a Debian package of what `cmake --install` installs, its
# dependencies read from the shared libraries the program links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelto-todo)
set(CPACK_PACKAGE_VENDOR "Zelto Todo List")
set(CPACK_PACKAGE_CONTACT "Zelto Todo List <zelto.todo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION [[
A single-user desktop to-do list for recurring tasks. Each task falls due on
the hours, weekdays, months and days of the month its rule names, or every n
days from a date; ticked tasks come back by themselves when they fall due.]])
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugin at run time, so no linked library names
# it; without one the program cannot open a window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
