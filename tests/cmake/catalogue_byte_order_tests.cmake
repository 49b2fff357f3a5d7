# Message catalogues in both byte orders: the German test catalogue compiled little-endian and
# big-endian, both read by the library on whatever machine the tests run (the PC, or the device
# under qemu).
if(TOOLKIT_WITH_LOCALE)
  find_program(MSGFMT_EXECUTABLE msgfmt)
  if(NOT MSGFMT_EXECUTABLE)
    message(FATAL_ERROR "msgfmt (Debian package gettext) is needed to build the translation tests")
  endif()
  set(byte_order_catalogues)
  foreach(order little big)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/locale-${order}-endian)
    add_custom_command(
      OUTPUT ${dir}/de/LC_MESSAGES/nyrtest.mo
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/de/LC_MESSAGES
      COMMAND ${MSGFMT_EXECUTABLE} --check --endianness=${order} -o ${dir}/de/LC_MESSAGES/nyrtest.mo
        ${CMAKE_CURRENT_SOURCE_DIR}/locale/nyrtest.de.po
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/locale/nyrtest.de.po
      COMMENT "Compiling the nyrtest message catalogue ${order}-endian"
      VERBATIM)
    list(APPEND byte_order_catalogues ${dir}/de/LC_MESSAGES/nyrtest.mo)
  endforeach()
  add_custom_target(toolkit_byte_order_catalogues DEPENDS ${byte_order_catalogues})

  find_package(Boost 1.70 REQUIRED COMPONENTS locale)
  add_executable(toolkit_catalogue_byte_order_tests
    ${CMAKE_CURRENT_SOURCE_DIR}/locale/catalogue_byte_order_test.cpp)
  add_dependencies(toolkit_catalogue_byte_order_tests toolkit_byte_order_catalogues)
  target_compile_definitions(toolkit_catalogue_byte_order_tests PRIVATE
    NYRTEST_LITTLE_ENDIAN_DIR="${CMAKE_CURRENT_BINARY_DIR}/locale-little-endian"
    NYRTEST_BIG_ENDIAN_DIR="${CMAKE_CURRENT_BINARY_DIR}/locale-big-endian")
  target_link_libraries(toolkit_catalogue_byte_order_tests PRIVATE toolkit nyr Boost::locale
    GTest::gtest_main)
  add_test(NAME catalogue_byte_order COMMAND toolkit_catalogue_byte_order_tests)
endif()
