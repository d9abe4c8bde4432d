# The web site's page latency with and without idle connections held open by another address.
add_executable(kv_bench_web_site ${CMAKE_CURRENT_LIST_DIR}/web_site_bench.cpp)
target_link_libraries(kv_bench_web_site PRIVATE kv_server benchmark::benchmark kv_flags)
