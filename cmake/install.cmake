# What `cmake --install` adds beyond the programs: the desktop entry, the icon and the
# AppStream metadata, so that desktops and software centres list Vidrake. The metadata file is
# named after its component id, which is what AppStream tools look for.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/data/vidrake.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/vidrake.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/vidrake.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME io.github.vidrake.Vidrake.metainfo.xml)
