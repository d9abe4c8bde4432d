# Desktop integration: the launcher entry, the icon in the hicolor theme, and the machine
# settings file whose "Path" names the installation folder (where zorvi.chm lives).
set(KV_INSTALL_DATA_FOLDER ${CMAKE_INSTALL_FULL_DATADIR}/kestrivan)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kestrivan.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/kestrivan.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${CMAKE_CURRENT_LIST_DIR}/machine_settings.conf.in
               ${CMAKE_CURRENT_BINARY_DIR}/machine/Zorvi.conf @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/machine/Zorvi.conf
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/Marquent)
install(DIRECTORY DESTINATION ${KV_INSTALL_DATA_FOLDER}/config)
