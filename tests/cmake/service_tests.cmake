# nyrd with real processes: a daemon on a socket of the test's own, client processes through
# qel_host_connect and CNyr (tests/service). Only where nyrd itself is built.
if(TARGET nyrd)
  add_executable(service_client ${CMAKE_CURRENT_SOURCE_DIR}/service/service_client.cpp)
  target_link_libraries(service_client PRIVATE toolkit nyr)
  # The protocol's constants, for a client that speaks it by hand (its functions stay in libnyr).
  target_include_directories(service_client PRIVATE ${PROJECT_SOURCE_DIR}/src/storeif/host)
  # kill9 and sigterm restart nyrd on its store file and find the tree there.
  # The stats case reads the daemon through nyr, where nyr is built.
  set(service_nyr "")
  if(TARGET nyr_tool)
    set(service_nyr $<TARGET_FILE:nyr_tool>)
  endif()
  foreach(service_case exchange many group watch kill9 lost second other-user limits stopped settings
                       budget stats max-frame stuck-client sigterm)
    add_test(NAME service_${service_case}
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/service/service_tests.sh ${service_case}
              $<TARGET_FILE:nyrd> $<TARGET_FILE:service_client> ${service_nyr})
    set_tests_properties(service_${service_case} PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77)
  endforeach()
endif()
