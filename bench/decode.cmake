# What trickling a record costs each reader: one record fed whole and a byte per read.
add_executable(kv_bench_decode ${CMAKE_CURRENT_LIST_DIR}/decode_bench.cpp)
target_link_libraries(kv_bench_decode PRIVATE kv_server benchmark::benchmark kv_flags)
