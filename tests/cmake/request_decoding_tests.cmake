# What nyrd's decoder of requests allocates, counted through wrapped malloc, calloc, realloc and
# free and a replaced operator new (the decoder comes from the host store's internal library,
# whose objects are linked into this program, so the wrapping reaches them).
add_executable(request_decoding_tests ${CMAKE_CURRENT_SOURCE_DIR}/decode/request_decoding_test.cpp)
target_include_directories(request_decoding_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(request_decoding_tests PRIVATE nyr_internal GTest::gtest_main)
target_link_options(request_decoding_tests PRIVATE -Wl,--wrap=malloc -Wl,--wrap=calloc
  -Wl,--wrap=realloc -Wl,--wrap=free)
add_test(NAME request_decoding COMMAND request_decoding_tests)
