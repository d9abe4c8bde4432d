# A login's cost with the accounts in SQLite (the baseline) and in a throwaway PostgreSQL.
add_executable(kv_bench_accounts ${CMAKE_CURRENT_LIST_DIR}/accounts_bench.cpp)
target_link_libraries(kv_bench_accounts PRIVATE kv_server kv_test_pg benchmark::benchmark kv_flags)
