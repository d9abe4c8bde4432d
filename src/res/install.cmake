# Desktop integration: the launcher entry, the icon in the hicolor theme, and the machine
# settings file whose "Path" names the installation folder (where zorvi.chm lives).
set(KV_INSTALL_DATA_FOLDER ${CMAKE_INSTALL_FULL_DATADIR}/kestrivan)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kestrivan.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/kestrivan.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Fixed-size renderings of the same icon, for panels and menus that take no SVG (the theme
# expects at least 48x48), made at build time by Qt's own SVG renderer.
set(kv_icon_sizes 16 24 32 48 64 128 256)
set(kv_icon_dir ${CMAKE_CURRENT_BINARY_DIR}/generated/icons)
set(kv_icon_pngs "")
foreach(size ${kv_icon_sizes})
  list(APPEND kv_icon_pngs ${kv_icon_dir}/${size}x${size}/kestrivan.png)
endforeach()
add_executable(kv_render_icon ${CMAKE_CURRENT_LIST_DIR}/tools/render_icon.cpp)
target_link_libraries(kv_render_icon PRIVATE Qt6::Gui Qt6::Svg kv_flags)
add_custom_command(
  OUTPUT ${kv_icon_pngs}
  COMMAND kv_render_icon ${CMAKE_CURRENT_LIST_DIR}/icons/kestrivan.svg ${kv_icon_dir} ${kv_icon_sizes}
  DEPENDS kv_render_icon ${CMAKE_CURRENT_LIST_DIR}/icons/kestrivan.svg
  COMMENT "Rendering the program icon at its fixed sizes"
  VERBATIM)
add_custom_target(kv_icons ALL DEPENDS ${kv_icon_pngs})
foreach(size ${kv_icon_sizes})
  install(FILES ${kv_icon_dir}/${size}x${size}/kestrivan.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/machine_settings.conf.in
               ${CMAKE_CURRENT_BINARY_DIR}/machine/Zorvi.conf @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/machine/Zorvi.conf
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/Marquent)
install(DIRECTORY DESTINATION ${KV_INSTALL_DATA_FOLDER}/config)
