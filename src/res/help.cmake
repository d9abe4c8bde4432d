# The compiled help file zorvi.chm, built from the HTML sources in help/ with chmcmd and
# placed at the build folder's root, where the program looks when no installation folder
# is set.
find_program(KV_CHMCMD chmcmd REQUIRED)
file(GLOB kv_help_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/help/*)
set(kv_help_work ${CMAKE_CURRENT_BINARY_DIR}/help)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/zorvi.chm
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${kv_help_work}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_LIST_DIR}/help ${kv_help_work}
  COMMAND ${CMAKE_COMMAND} -E chdir ${kv_help_work} ${KV_CHMCMD} --no-html-scan zorvi.hhp
  COMMAND ${CMAKE_COMMAND} -E copy ${kv_help_work}/zorvi.chm ${CMAKE_BINARY_DIR}/zorvi.chm
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DEPENDS ${kv_help_sources}
  COMMENT "Compiling the help file zorvi.chm"
  VERBATIM)
add_custom_target(kv_help ALL DEPENDS ${CMAKE_BINARY_DIR}/zorvi.chm)
add_dependencies(kv_res kv_help)
install(FILES ${CMAKE_BINARY_DIR}/zorvi.chm DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrivan)

# The program's icon, drawn for this project.
qt_add_resources(kv_res "icons" PREFIX "/res" BASE ${CMAKE_CURRENT_LIST_DIR} FILES
  ${CMAKE_CURRENT_LIST_DIR}/icons/kestrivan.svg)
