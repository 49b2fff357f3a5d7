# The contract tests learn from the build whether the library computes HMAC texts, so that the
# digest checks can skip honestly in builds without OpenSSL (such as the 32-bit PowerPC build).
if(TARGET toolkit_contract_tests AND TOOLKIT_WITH_OPENSSL)
  target_compile_definitions(toolkit_contract_tests PRIVATE TOOLKIT_TESTS_HAVE_OPENSSL=1)
endif()
