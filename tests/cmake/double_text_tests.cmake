# The double text against printf, over millions of doubles and in locales whose decimal point is
# not ".". Instrumented builds and the emulated device compare fewer random doubles, so that their
# lanes stay quick; the fixed sets of boundaries and ties are the same everywhere.
add_executable(toolkit_double_text_tests ${CMAKE_CURRENT_SOURCE_DIR}/text/double_text_test.cpp)
target_link_libraries(toolkit_double_text_tests PRIVATE toolkit nyr GTest::gtest_main)
if(TOOLKIT_SANITIZE OR CMAKE_CROSSCOMPILING)
  target_compile_definitions(toolkit_double_text_tests PRIVATE
    TOOLKIT_TESTS_DOUBLE_TEXT_SAMPLES=200000)
endif()
add_test(NAME double_text COMMAND toolkit_double_text_tests)

# Two numeric locales, one with a decimal comma and one with a two-byte point, made from the
# locales package's sources with localedef into the build tree, in the byte order of the machine
# that runs the tests. Without localedef or the sources the locale test skips.
find_program(LOCALEDEF_EXECUTABLE localedef)
set(locale_sources /usr/share/i18n/locales)
if(LOCALEDEF_EXECUTABLE AND EXISTS ${locale_sources}/de_DE AND EXISTS ${locale_sources}/ps_AF)
  set(locale_dir ${CMAKE_CURRENT_BINARY_DIR}/numeric-locales)
  if(CMAKE_CXX_BYTE_ORDER STREQUAL "BIG_ENDIAN")
    set(locale_byte_order --big-endian)
  else()
    set(locale_byte_order --little-endian)
  endif()
  set(locale_outputs)
  foreach(name de_DE ps_AF)
    set(output ${locale_dir}/${name}.UTF-8/LC_NUMERIC)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${LOCALEDEF_EXECUTABLE} ${locale_byte_order} -i ${name} -f UTF-8
        ${locale_dir}/${name}.UTF-8
      COMMENT "Making the ${name}.UTF-8 locale for the double text tests"
      VERBATIM)
    list(APPEND locale_outputs ${output})
  endforeach()
  add_custom_target(toolkit_numeric_locales DEPENDS ${locale_outputs})
  add_dependencies(toolkit_double_text_tests toolkit_numeric_locales)
  target_compile_definitions(toolkit_double_text_tests PRIVATE
    TOOLKIT_TESTS_LOCALE_DIR="${locale_dir}")
endif()
