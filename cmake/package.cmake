# `cpack -G DEB` in the release build makes vidrake_<version>_amd64.deb, holding what
# `cmake --install` installs, under /usr. Its Depends come from the shared libraries the programs
# load (dpkg-shlibdeps, from dpkg-dev): libmpv and libseccomp through vidrake-player. mpv the
# program is not one of them: it is only one of the players that can open a saved play list.

# Debian builds its own packages with these; optimised builds only, as the fortified functions
# need the optimiser.
set(_optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
target_compile_definitions(vidrake_options INTERFACE $<${_optimised}:_FORTIFY_SOURCE=2>)
target_compile_options(vidrake_options INTERFACE $<${_optimised}:-fstack-protector-strong>)
target_link_options(vidrake_options INTERFACE $<${_optimised}:LINKER:-z,relro,-z,now>)

# The change log's first entry must be this version, or the package would describe another.
file(STRINGS ${PROJECT_SOURCE_DIR}/data/debian/changelog _latest LIMIT_COUNT 1)
if(NOT _latest MATCHES "^vidrake \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "data/debian/changelog does not begin with version ${PROJECT_VERSION}")
endif()

set(VIDRAKE_PACKAGE_MAINTAINER "Vidrake Developers <developers@vidrake.invalid>"
    CACHE STRING "Name and mail address for the package's Maintainer field")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vidrake)
set(CPACK_PACKAGE_VENDOR "Vidrake Developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds movie links on the web and plays them")
set(CPACK_PACKAGE_DESCRIPTION [[
Vidrake looks through web pages for links to movie files (those ending
in .avi, .mpg or .wmv). Type a start address and the number of movies wanted,
and press Crawl: Vidrake lists every movie on the start page, then visits the
sites that page links to, one by one, taking the first movie of each, until
it has as many as asked for. Pick a movie from the list to watch it in the
window. The list can be saved as a play list and opened again.

The package also holds vidrake-crawl, the same crawler without a window, for
scripts, and a small sample web with its own server, vidrake-sample-web, to
try Vidrake on without the Internet.]])

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VIDRAKE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
