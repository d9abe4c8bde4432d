# The small program icon shown by the login dialog and the progress window.
qt_add_resources(kv_res "login" PREFIX "/res" BASE ${CMAKE_CURRENT_LIST_DIR} FILES
  ${CMAKE_CURRENT_LIST_DIR}/login/icon155.svg)
