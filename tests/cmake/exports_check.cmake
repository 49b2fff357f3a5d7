# libnyr.so exports exactly the functions declared in nyr.h and nyr_host.h: no internal symbol and
# no standard-library template instance leaks into the store's ABI, and no declared function is
# missing. Runs `nm -D --defined-only` on the built library.
find_program(NM_EXECUTABLE NAMES ${CMAKE_NM} nm)
if(NM_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME libnyr_exports COMMAND ${CMAKE_COMMAND}
    -DNM=${NM_EXECUTABLE} -DLIBRARY=$<TARGET_FILE:nyr>
    "-DHEADERS=${PROJECT_SOURCE_DIR}/src/storeif/nyr.h;${PROJECT_SOURCE_DIR}/src/storeif/nyr_host.h"
    -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/exports_compare.script)
endif()
