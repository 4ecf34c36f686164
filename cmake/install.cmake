# What `cmake --install` adds beyond the programs: the desktop entry, the icon and the
# AppStream metadata, so that desktops and software centres list Vidrake; the manual pages; and
# the copyright and change log that Debian expects beside every package. The metadata file is
# named after its component id, which is what AppStream tools look for.
include(GNUInstallDirs)

# Folders that the install makes are 0755 whatever the umask, as packages want them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The day this version was released; bump it with the version in project().
set(VIDRAKE_RELEASE_DATE 2026-12-06)
if(NOT VIDRAKE_FILE_VERSION)
  message(FATAL_ERROR "VIDRAKE_FILE_VERSION is not set: include this file after the programs")
endif()

# Versions come from the project, so that the files cannot drift from the programs.
set(_data ${PROJECT_BINARY_DIR}/data)
configure_file(${PROJECT_SOURCE_DIR}/data/vidrake.desktop.in ${_data}/vidrake.desktop @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/vidrake.metainfo.xml.in
               ${_data}/io.github.vidrake.Vidrake.metainfo.xml @ONLY)
install(FILES ${_data}/vidrake.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/vidrake.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${_data}/io.github.vidrake.Vidrake.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the change log go out compressed, as man and Debian's tools expect; -n keeps
# the name and time out of the archive so that builds are reproducible.
find_program(VIDRAKE_GZIP gzip REQUIRED)
set(_docs ${PROJECT_BINARY_DIR}/docs)
set(_man_pages)
foreach(_page vidrake vidrake-crawl vidrake-sample-web)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${_page}.1 ${_docs}/${_page}.1 @ONLY)
  list(APPEND _man_pages ${_docs}/${_page}.1.gz)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog ${_docs}/changelog COPYONLY)
foreach(_gz IN LISTS _man_pages ITEMS ${_docs}/changelog.gz)
  string(REGEX REPLACE "\\.gz$" "" _plain ${_gz})
  add_custom_command(OUTPUT ${_gz} COMMAND ${VIDRAKE_GZIP} -9nkf ${_plain} DEPENDS ${_plain} VERBATIM)
endforeach()
add_custom_target(vidrake-docs ALL DEPENDS ${_man_pages} ${_docs}/changelog.gz)

install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_docs}/changelog.gz ${PROJECT_SOURCE_DIR}/data/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vidrake)
