# Fails when a public header has no @file comment. Doxygen documents a header's free functions,
# types and macros only when the header itself is documented, and without one it stays silent, so
# an undocumented header would slip past the warnings that guard everything else.
#   cmake -DHEADERS="a.h|b.h" -P check_file_comments.cmake
string(REPLACE "|" ";" headers "${HEADERS}")
set(missing "")
foreach(header IN LISTS headers)
  file(STRINGS "${header}" file_comment REGEX "^(///| \\*|/\\*\\*) *@file")
  if(NOT file_comment)
    list(APPEND missing "${header}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing_text)
  message(FATAL_ERROR "Public headers without an @file comment:\n  ${missing_text}")
endif()
