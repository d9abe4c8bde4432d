# The record and bare-string decoders under libFuzzer. The codec is compiled into the
# target itself so that it carries the fuzzer's coverage instrumentation.
add_executable(kv_fuzz_codec ${CMAKE_CURRENT_LIST_DIR}/codec_fuzz.cpp ${PROJECT_SOURCE_DIR}/src/net/codec.cpp)
kv_include_link(kv_fuzz_codec PRIVATE net ${PROJECT_SOURCE_DIR}/src/net)
target_link_libraries(kv_fuzz_codec PRIVATE kv_flags)
target_compile_options(kv_fuzz_codec PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
target_link_options(kv_fuzz_codec PRIVATE -fsanitize=fuzzer,address,undefined)

# A bounded run over the seed corpus: `ninja fuzz-codec` (FUZZ_SECONDS, default 60).
set(KV_FUZZ_SECONDS 60 CACHE STRING "How long the fuzz run lasts")
add_custom_target(fuzz-codec
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/codec-corpus
  COMMAND $<TARGET_FILE:kv_fuzz_codec> -max_total_time=${KV_FUZZ_SECONDS} -max_len=4096 -rss_limit_mb=1024
          -timeout=10 ${CMAKE_CURRENT_BINARY_DIR}/codec-corpus ${CMAKE_CURRENT_LIST_DIR}/corpus/codec
  DEPENDS kv_fuzz_codec
  USES_TERMINAL)
