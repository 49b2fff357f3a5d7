# An event log file handed between machines: log_exchange writes a fixed set of events to a file
# and reads them back, using the store's C interface only. Here it writes and reads on one machine;
# scripts/test-target.sh also runs the device build's writer against this machine's reader and the
# other way round.
if(NYR_WITH_SQLITE)
  add_executable(log_exchange ${CMAKE_CURRENT_SOURCE_DIR}/exchange/log_exchange.c)
  target_link_libraries(log_exchange PRIVATE nyr)
  set(exchange_file ${CMAKE_CURRENT_BINARY_DIR}/log_exchange.db)
  add_test(NAME log_exchange_write COMMAND log_exchange write ${exchange_file})
  add_test(NAME log_exchange_read COMMAND log_exchange read ${exchange_file})
  set_tests_properties(log_exchange_write PROPERTIES FIXTURES_SETUP log_exchange_file)
  set_tests_properties(log_exchange_read PROPERTIES FIXTURES_REQUIRED log_exchange_file)
endif()
