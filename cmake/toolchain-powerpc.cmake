# Cross-compiling for the device: 32-bit big-endian PowerPC Linux (Debian's powerpc-linux-gnu
# toolchain). Programs built with it run on the build machine through qemu's user-mode emulator,
# which is also what ctest uses to run the test programs.
#
# Libraries for the target are found under the toolchain's sysroot and under TOOLKIT_TARGET_PREFIX,
# a directory into which such libraries have been installed: scripts/target-deps.sh builds one with
# Boost.Locale, OpenSSL's libcrypto, SQLite and GoogleTest. A device project that uses the unpacked
# package of scripts/package-target.sh names that folder: find_package(toolkit) then finds it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(toolkit_target_triple powerpc-linux-gnu)
set(toolkit_target_sysroot /usr/${toolkit_target_triple})

set(CMAKE_C_COMPILER ${toolkit_target_triple}-gcc)
set(CMAKE_CXX_COMPILER ${toolkit_target_triple}-g++)

# The toolchain file is read again for every try_compile project; hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOOLKIT_TARGET_PREFIX)
set(CMAKE_FIND_ROOT_PATH ${toolkit_target_sysroot})
if(TOOLKIT_TARGET_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TOOLKIT_TARGET_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(toolkit_qemu_ppc NAMES qemu-ppc qemu-ppc-static)
if(toolkit_qemu_ppc)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${toolkit_qemu_ppc} -L ${toolkit_target_sysroot})
endif()
