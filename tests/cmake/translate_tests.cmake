# Translated value texts, tested against a small German catalogue compiled at build time.
# Only built when the library has Boost.Locale; without it the untranslated fallback is covered
# by the unit tests.
if(TOOLKIT_WITH_LOCALE)
  find_program(MSGFMT_EXECUTABLE msgfmt)
  if(NOT MSGFMT_EXECUTABLE)
    message(FATAL_ERROR "msgfmt (Debian package gettext) is needed to build the translation tests")
  endif()
  set(catalogue_dir ${CMAKE_CURRENT_BINARY_DIR}/locale)
  set(catalogue ${catalogue_dir}/de/LC_MESSAGES/nyrtest.mo)
  add_custom_command(
    OUTPUT ${catalogue}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${catalogue_dir}/de/LC_MESSAGES
    COMMAND ${MSGFMT_EXECUTABLE} --check -o ${catalogue} ${CMAKE_CURRENT_SOURCE_DIR}/locale/nyrtest.de.po
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/locale/nyrtest.de.po
    COMMENT "Compiling the nyrtest message catalogue"
    VERBATIM)
  add_custom_target(toolkit_translate_catalogue DEPENDS ${catalogue})

  find_package(Boost 1.70 REQUIRED COMPONENTS locale)
  add_executable(toolkit_translate_tests ${CMAKE_CURRENT_SOURCE_DIR}/locale/element_translate_test.cpp)
  add_dependencies(toolkit_translate_tests toolkit_translate_catalogue)
  target_compile_definitions(toolkit_translate_tests PRIVATE
    NYRTEST_CATALOGUE_DIR="${catalogue_dir}")
  target_link_libraries(toolkit_translate_tests PRIVATE nyr_double toolkit Boost::locale
    GTest::gtest_main)
  add_test(NAME translate COMMAND toolkit_translate_tests)
endif()
