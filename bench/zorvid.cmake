# Load generator for zorvid: N chat clients in M rooms over loopback (a plain program).
find_package(CLI11 QUIET)
add_executable(zorvid-load ${CMAKE_CURRENT_LIST_DIR}/zorvid_load.cpp)
target_link_libraries(zorvid-load PRIVATE kv_server kv_flags)
