# The default skin: its description and the artwork it draws.
file(GLOB kv_skin_files RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/skin CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/skin/*.json ${CMAKE_CURRENT_SOURCE_DIR}/skin/*.svg)
list(TRANSFORM kv_skin_files PREPEND "skin/")
qt_add_resources(kv_res "skin" PREFIX "/res" BASE ${CMAKE_CURRENT_SOURCE_DIR} FILES ${kv_skin_files})
