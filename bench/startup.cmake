# Time from process start to the main window, against a minimal Qt window as the baseline.
if(TARGET kv_shell)
  add_executable(startup_baseline ${CMAKE_CURRENT_LIST_DIR}/startup/startup_baseline.cpp)
  target_link_libraries(startup_baseline PRIVATE Qt6::Widgets kv_flags)
endif()
