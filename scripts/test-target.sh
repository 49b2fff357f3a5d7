#!/usr/bin/env bash
# Builds both libraries and the test suite for the device (32-bit big-endian PowerPC Linux) and
# runs the suite under qemu's user-mode emulator.
#
#   scripts/test-target.sh            build into build-target/ and run the suite
#   BUILD_DIR=dir JOBS=n scripts/test-target.sh
#
# GoogleTest and GoogleMock are built for the target from /usr/src/googletest into the build
# directory once and reused. Boost.Locale, OpenSSL and SQLite have no PowerPC builds here, so the
# target build leaves out translated value texts, HMAC texts and the SQLite event log.
# Prints "LANE target: PASS|FAIL (n s)" and exits non-zero on failure.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lanes-common.sh"

BUILD_DIR="${BUILD_DIR:-$TOOLKIT_ROOT/build-target}"
TOOLCHAIN="$TOOLKIT_ROOT/cmake/toolchain-powerpc.cmake"
PREFIX="$BUILD_DIR/target-prefix"

build_googletest() {
    if [ -f "$PREFIX/lib/cmake/GTest/GTestConfig.cmake" ]; then
        echo "GoogleTest for the target: cached in $PREFIX"
        return 0
    fi
    cmake -S /usr/src/googletest -B "$BUILD_DIR/googletest-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
        -DCMAKE_POSITION_INDEPENDENT_CODE=ON &&
        ninja -C "$BUILD_DIR/googletest-build" -j "$JOBS" install
}

build_and_test() {
    cmake -S "$TOOLKIT_ROOT" -B "$BUILD_DIR" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DTOOLKIT_TARGET_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTOOLKIT_WITH_LOCALE=OFF -DTOOLKIT_WITH_OPENSSL=OFF -DNYR_WITH_SQLITE=OFF \
        -DTOOLKIT_BUILD_TESTS=ON -DTOOLKIT_BUILD_BENCH=OFF -DTOOLKIT_BUILD_EXAMPLES=OFF || return 1
    ninja -C "$BUILD_DIR" -j "$JOBS" || return 1
    # The libraries must really be for the device, not for the build machine.
    file -L "$BUILD_DIR/libnyr++.so" | grep -q "32-bit MSB.*PowerPC" || {
        echo "libnyr++.so is not a 32-bit big-endian PowerPC library"
        return 1
    }
    ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 900
}

LEFT_OUT="left out on the target (no PowerPC builds of their libraries here):
  translated value texts (Boost.Locale), HMAC texts (OpenSSL), the SQLite event log (SQLite)"

ensure_packages g++-powerpc-linux-gnu qemu-user googletest cmake ninja-build file
echo "target build: powerpc-linux-gnu, run under qemu-ppc"
echo "$LEFT_OUT"

lane_start target
status=0
mkdir -p "$BUILD_DIR"
build_googletest || status=1
[ $status -eq 0 ] && { build_and_test || status=1; }
echo "$LEFT_OUT"
lane_end target $status
lane_summary
