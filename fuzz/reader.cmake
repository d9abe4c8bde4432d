# The incremental reader (ValueDecoder fed in pieces) under libFuzzer, checked against
# decoding each value from its first byte. Seeds: the codec corpus.
add_executable(kv_fuzz_reader ${CMAKE_CURRENT_LIST_DIR}/reader_fuzz.cpp ${PROJECT_SOURCE_DIR}/src/net/codec.cpp)
kv_include_link(kv_fuzz_reader PRIVATE net ${PROJECT_SOURCE_DIR}/src/net)
target_link_libraries(kv_fuzz_reader PRIVATE kv_flags)
target_compile_options(kv_fuzz_reader PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
target_link_options(kv_fuzz_reader PRIVATE -fsanitize=fuzzer,address,undefined)

# `ninja fuzz-reader`, as long as fuzz-codec (KV_FUZZ_SECONDS).
add_custom_target(fuzz-reader
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/reader-corpus
  COMMAND $<TARGET_FILE:kv_fuzz_reader> -max_total_time=${KV_FUZZ_SECONDS} -max_len=4096 -rss_limit_mb=1024
          -timeout=10 ${CMAKE_CURRENT_BINARY_DIR}/reader-corpus ${CMAKE_CURRENT_LIST_DIR}/corpus/codec
  DEPENDS kv_fuzz_reader
  USES_TERMINAL)
