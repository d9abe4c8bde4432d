# The conversation display and the incoming flood (needs the client and the test peer).
if(TARGET kv_chat AND TARGET kv_test_support AND TARGET kv_test_net)
  add_executable(chat_bench ${CMAKE_CURRENT_LIST_DIR}/chat/chat_bench.cpp)
  target_link_libraries(chat_bench PRIVATE kv_chat kv_test_support kv_test_net benchmark::benchmark kv_flags)
endif()
