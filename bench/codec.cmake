# Encoding and decoding speed of the record codec, against memcpy of the same bytes.
add_executable(kv_bench_codec ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp)
target_link_libraries(kv_bench_codec PRIVATE kv_net benchmark::benchmark kv_flags)
