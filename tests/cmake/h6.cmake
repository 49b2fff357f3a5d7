# Event log tests reach the log's SQLite file directly: to damage it, to add a failing trigger,
# or to check what another application's database looks like.
if(TARGET toolkit_host_tests AND NYR_WITH_SQLITE)
  find_package(SQLite3 REQUIRED)
  target_link_libraries(toolkit_host_tests PRIVATE SQLite::SQLite3)
  target_compile_definitions(toolkit_host_tests PRIVATE NYR_HAVE_SQLITE=1)
endif()
