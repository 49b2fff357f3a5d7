# get_base under failing malloc. The library is a shared object, and --wrap only redirects calls
# from the objects of the program being linked, so the event and element sources are compiled
# into this program itself; destruct_event comes from the host store's internal library.
add_executable(toolkit_alloc_failure_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/alloc/event_alloc_failure_test.cpp
  ${PROJECT_SOURCE_DIR}/src/event/event.cpp
  ${PROJECT_SOURCE_DIR}/src/element/element.cpp)
target_include_directories(toolkit_alloc_failure_tests PRIVATE
  ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(toolkit_alloc_failure_tests PRIVATE nyr_internal GTest::gtest_main)
target_link_options(toolkit_alloc_failure_tests PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free)
add_test(NAME alloc_failure COMMAND toolkit_alloc_failure_tests)

# The host store's calls under failing allocations, in process and through the daemon's session:
# operator new is replaced in this program, and the store's own malloc and calloc are wrapped.
add_executable(store_alloc_failure_tests ${CMAKE_CURRENT_SOURCE_DIR}/alloc/store_alloc_failure_test.cpp)
target_include_directories(store_alloc_failure_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(store_alloc_failure_tests PRIVATE nyr_internal nyr_service GTest::gtest_main)
target_link_options(store_alloc_failure_tests PRIVATE -Wl,--wrap=malloc -Wl,--wrap=calloc
  -Wl,--wrap=free)
add_test(NAME store_alloc_failure COMMAND store_alloc_failure_tests)
