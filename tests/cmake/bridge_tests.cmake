# nyr-bridge: its pieces on their own (names in topics, the spool, inbound writes on a store in
# memory), and the real binaries against a mosquitto broker, nyrd and mosquitto_sub/_pub that the
# tests start themselves. Only where nyr-bridge itself is built.
if(TARGET nyr_bridge)
  add_executable(nyr_bridge_unit_tests ${CMAKE_CURRENT_SOURCE_DIR}/bridge/bridge_unit_test.cpp)
  target_link_libraries(nyr_bridge_unit_tests PRIVATE nyr_bridge_core GTest::gtest_main)
  add_test(NAME bridge_unit COMMAND nyr_bridge_unit_tests)
endif()
if(TARGET nyr_bridge AND TARGET nyrd AND TARGET nyr_tool)
  find_program(MOSQUITTO_PROGRAM mosquitto PATHS /usr/sbin)
  find_program(MOSQUITTO_SUB_PROGRAM mosquitto_sub)
  find_program(MOSQUITTO_PUB_PROGRAM mosquitto_pub)
  find_program(STDBUF_PROGRAM stdbuf)
  add_executable(nyr_bridge_tests ${CMAKE_CURRENT_SOURCE_DIR}/bridge/bridge_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/bridge/bridge_harness.cpp)
  # The delivery test looks into the bridge's spool file to know what the bridge has taken; the
  # overflow test floods the bridge's queue through a client of its own.
  target_link_libraries(nyr_bridge_tests PRIVATE toolkit nyr SQLite::SQLite3 GTest::gtest_main)
  if(MOSQUITTO_PROGRAM AND MOSQUITTO_SUB_PROGRAM AND MOSQUITTO_PUB_PROGRAM)
    set(bridge_broker ${MOSQUITTO_PROGRAM})
  else()
    set(bridge_broker "")  # the tests skip
  endif()
  target_compile_definitions(nyr_bridge_tests PRIVATE
    NYR_PATH="$<TARGET_FILE:nyr_tool>" NYRD_PATH="$<TARGET_FILE:nyrd>"
    BRIDGE_PATH="$<TARGET_FILE:nyr_bridge>" MOSQUITTO_PATH="${bridge_broker}"
    MOSQUITTO_SUB_PATH="${MOSQUITTO_SUB_PROGRAM}" MOSQUITTO_PUB_PATH="${MOSQUITTO_PUB_PROGRAM}"
    STDBUF_PATH="${STDBUF_PROGRAM}")
  add_dependencies(nyr_bridge_tests nyr_bridge nyrd nyr_tool)
  add_test(NAME bridge COMMAND nyr_bridge_tests)
  set_tests_properties(bridge PROPERTIES TIMEOUT 120)
endif()
