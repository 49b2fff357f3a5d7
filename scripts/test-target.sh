#!/usr/bin/env bash
# Builds both libraries and the test suite for the device (32-bit big-endian PowerPC Linux) and
# runs the suite under qemu's user-mode emulator, with nothing left out: translated value texts
# (Boost.Locale), HMAC texts (OpenSSL's libcrypto) and the SQLite event log are all in the build.
#
#   scripts/test-target.sh            build into build-target/ and run the suite
#   BUILD_DIR=dir JOBS=n scripts/test-target.sh
#
# The libraries the device build links, and GoogleTest, come from scripts/target-deps.sh: built
# from Debian's source packages once per machine into ~/.cache/libnyr-target/ and reused.
# Besides the suite, the lane hands event log files between the device and this PC: the device
# build's log_exchange writes a file that this machine's build reads, and the other way round.
# Then it packs the device build (scripts/package-target.sh) and builds a small program against the
# unpacked package the way a device project would, with pkg-config and with find_package(toolkit)
# and the toolchain file, and runs both under qemu with nothing but the package and the toolchain's
# runtime to load from.
# It fails when the build lacks translation, HMAC or the SQLite log, or when a test skipped
# because one of them was missing.
# Prints "LANE target: PASS|FAIL (n s)" and exits non-zero on failure.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lanes-common.sh"

BUILD_DIR="${BUILD_DIR:-$TOOLKIT_ROOT/build-target}"
HOST_DIR="$BUILD_DIR/host-exchange"
TOOLCHAIN="$TOOLKIT_ROOT/cmake/toolchain-powerpc.cmake"
SYSROOT=/usr/powerpc-linux-gnu

target_dependencies() {
    local log="$BUILD_DIR/target-deps.log"
    "$TOOLKIT_ROOT/scripts/target-deps.sh" | tee "$log" || return 1
    PREFIX=$(tail -n 1 "$log")
    BRIDGE_PREFIX=$(sed -n 's/^bridge prefix: //p' "$log" | tail -n 1)
    [ -f "$PREFIX/.complete" ] || { echo "no prefix of target dependencies"; return 1; }
    [ -f "$BRIDGE_PREFIX/.complete" ] || { echo "no prefix of nyr-bridge's dependencies"; return 1; }
}

# nyr-bridge for the device, in a build of its own (its dependencies' prefix would otherwise give
# the suite's build nyr and nyrd, whose tests start programs that only qemu can run), run under
# qemu on a store in process against a broker on this machine: a write from the broker, its
# result, the state it leaves retained, and a clean stop.
bridge_on_device() {
    local dir="$BUILD_DIR/bridge" port out status=0
    cmake -S "$TOOLKIT_ROOT" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DTOOLKIT_TARGET_PREFIX="$PREFIX;$BRIDGE_PREFIX" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTOOLKIT_WITH_LOCALE=ON -DTOOLKIT_WITH_OPENSSL=ON -DNYR_WITH_SQLITE=ON \
        -DTOOLKIT_BUILD_TESTS=OFF -DTOOLKIT_BUILD_BENCH=OFF -DTOOLKIT_BUILD_EXAMPLES=OFF \
        >/dev/null || return 1
    ninja -C "$dir" -j "$JOBS" nyr_bridge >/dev/null || return 1
    file "$dir/tools/nyr-bridge/nyr-bridge" | grep -q "32-bit MSB.*PowerPC" ||
        { echo "nyr-bridge is not a PowerPC program"; return 1; }
    out="$dir/run"
    rm -rf "$out"
    mkdir -p "$out"
    port=$((20000 + RANDOM % 20000))
    printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$out/mosquitto.conf"
    "$(command -v mosquitto || echo /usr/sbin/mosquitto)" -c "$out/mosquitto.conf" \
        2>"$out/mosquitto.log" &
    local broker=$!
    qemu-ppc -L "$SYSROOT" -E LD_LIBRARY_PATH="$PREFIX/lib:$BRIDGE_PREFIX/lib" \
        "$dir/tools/nyr-bridge/nyr-bridge" --store "$out/device.db" publish \
        --broker "mqtt://127.0.0.1:$port" --device ppc --writable /plant /plant 2>"$out/bridge.log" &
    local bridge=$!
    for _ in $(seq 300); do grep -q "birth" "$out/bridge.log" && break; sleep 0.1; done
    mosquitto_sub -p "$port" -t 'nyr/v1/ppc/result/#' -C 1 -W 20 >"$out/result" &
    local sub=$!
    sleep 0.5
    mosquitto_pub -p "$port" -q 1 -t nyr/v1/ppc/set/plant/speed -m '{"type":"double","value":0.1}'
    wait "$sub"
    grep -qx '{"meaning":"done","status":1}' "$out/result" ||
        { echo "nyr-bridge on the device: no result of the write"; status=1; }
    mosquitto_sub -p "$port" -t 'nyr/v1/ppc/state/#' --retained-only -W 2 >"$out/state" 2>/dev/null
    grep -q '"type":"double","value":0.1}' "$out/state" ||
        { echo "nyr-bridge on the device: no state of the write"; status=1; }
    kill -TERM "$bridge"
    wait "$bridge" || { echo "nyr-bridge on the device did not stop cleanly"; status=1; }
    mosquitto_sub -p "$port" -t nyr/v1/ppc/status --retained-only -W 2 >"$out/status" 2>/dev/null
    grep -qx '{"online":false}' "$out/status" ||
        { echo "nyr-bridge on the device: not offline after its stop"; status=1; }
    kill -TERM "$broker"
    wait "$broker"
    [ $status -eq 0 ] || cat "$out/bridge.log"
    [ $status -eq 0 ] && echo "nyr-bridge under qemu: write, result, retained state and clean stop"
    return $status
}

build_and_test() {
    cmake -S "$TOOLKIT_ROOT" -B "$BUILD_DIR" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DTOOLKIT_TARGET_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTOOLKIT_WITH_LOCALE=ON -DTOOLKIT_WITH_OPENSSL=ON -DNYR_WITH_SQLITE=ON \
        -DTOOLKIT_BUILD_TESTS=ON -DTOOLKIT_BUILD_BENCH=OFF -DTOOLKIT_BUILD_EXAMPLES=OFF || return 1
    ninja -C "$BUILD_DIR" -j "$JOBS" || return 1
    check_device_libraries || return 1
    check_tests_present || return 1
    # The device runs the store in process: the remote-handle run of the host tests (a socket
    # served from inside the program, under qemu's system-call translation) stays on the PC.
    ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 900 -E '^host_remote$' || return 1
    check_no_skips
}

# The libraries must be for the device and must link what translation, HMAC and the SQLite log
# need; a build that quietly lost one of them fails here.
check_device_libraries() {
    local lib needed status=0
    for lib in libnyr++.so libnyr.so; do
        file -L "$BUILD_DIR/$lib" | grep -q "32-bit MSB.*PowerPC" || {
            echo "$lib is not a 32-bit big-endian PowerPC library"
            status=1
        }
    done
    check_needed() {
        powerpc-linux-gnu-readelf -d "$BUILD_DIR/$1" | grep -q "NEEDED.*\[$2" || {
            echo "$1 does not link $2 ($3 missing)"
            status=1
        }
    }
    check_needed libnyr++.so libboost_locale "translated value texts"
    check_needed libnyr++.so libcrypto "HMAC texts"
    check_needed libnyr.so libsqlite3 "the SQLite event log"
    return $status
}

# Every test program that covers one of them must be there ...
check_tests_present() {
    local status=0 test_name listed
    listed=$(ctest --test-dir "$BUILD_DIR" -N)
    for test_name in translate catalogue_byte_order log_exchange_read contract host; do
        grep -qE "Test +#[0-9]+: $test_name\$" <<<"$listed" || {
            echo "the target build has no test '$test_name'"
            status=1
        }
    done
    return $status
}

# ... and no test may have skipped for want of one: such tests say "built without ...". The log
# holds the output of every test of the last ctest run.
check_no_skips() {
    local log="$BUILD_DIR/Testing/Temporary/LastTest.log"
    grep -q "tests\? from .* ran" "$log" || { echo "no test output in $log"; return 1; }
    if grep -n "built without" "$log"; then
        echo "tests skipped for want of a library on the target"
        return 1
    fi
}

# Log files between the device and this PC, both ways: the device build writes under qemu and
# this machine's build of the same program reads, and the other way round.
exchange_logs() {
    cmake -S "$TOOLKIT_ROOT" -B "$HOST_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTOOLKIT_BUILD_BENCH=OFF -DTOOLKIT_BUILD_EXAMPLES=OFF >/dev/null || return 1
    ninja -C "$HOST_DIR" -j "$JOBS" log_exchange >/dev/null || return 1
    local device=(qemu-ppc -L "$SYSROOT" "$BUILD_DIR/tests/log_exchange")
    local pc=("$HOST_DIR/tests/log_exchange")
    echo "log file from the device, read on this PC:"
    "${device[@]}" write "$BUILD_DIR/from-device.db" && "${pc[@]}" read "$BUILD_DIR/from-device.db" ||
        return 1
    echo "log file from this PC, read on the device:"
    "${pc[@]}" write "$BUILD_DIR/from-pc.db" && "${device[@]}" read "$BUILD_DIR/from-pc.db"
}

# The package as a device project gets it: unpacked elsewhere, the program from tests/install built
# against it alone (no host library, nothing of the dependency cache) and run under qemu.
check_package() {
    local packed tarball unpacked pkg work flags
    packed=$("$TOOLKIT_ROOT/scripts/package-target.sh" "$BUILD_DIR") || return 1
    echo "$packed"
    tarball=$(tail -n 1 <<<"$packed")
    unpacked="$BUILD_DIR/package-check"
    rm -rf "$unpacked"
    mkdir -p "$unpacked/work"
    tar -C "$unpacked" -xzf "$tarball" || return 1
    pkg=$(echo "$unpacked"/libnyr++-*)
    work="$unpacked/work"
    local run=(qemu-ppc -L "$SYSROOT" -E LD_LIBRARY_PATH="$pkg/lib")
    echo "package, with pkg-config:"
    flags=$(PKG_CONFIG_LIBDIR="$pkg/lib/pkgconfig" PKG_CONFIG_PATH="" pkg-config --cflags --libs nyr++) ||
        return 1
    # shellcheck disable=SC2086  # the flags are meant to be split
    powerpc-linux-gnu-g++ -std=c++17 "$TOOLKIT_ROOT/tests/install/consumer.cpp" $flags \
        -o "$work/consumer_pc" || return 1
    "${run[@]}" "$work/consumer_pc" || return 1
    echo "package, with find_package(toolkit) and the toolchain file:"
    cmake -S "$TOOLKIT_ROOT/tests/install" -B "$work/cmake" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DTOOLKIT_TARGET_PREFIX="$pkg" >/dev/null || return 1
    cmake --build "$work/cmake" >/dev/null || return 1
    file "$work/cmake/consumer" | grep -q "32-bit MSB.*PowerPC" ||
        { echo "the package's consumer is not a PowerPC program"; return 1; }
    "${run[@]}" "$work/cmake/consumer" || return 1
    echo "package: nyr-bridge"
    "${run[@]}" "$pkg/bin/nyr-bridge" --version
}

"$TOOLKIT_ROOT/scripts/deps.sh" host target || exit 1
echo "target build: powerpc-linux-gnu, run under qemu-ppc, with Boost.Locale, libcrypto and SQLite"

lane_start target
status=0
mkdir -p "$BUILD_DIR"
target_dependencies || status=1
[ $status -eq 0 ] && { build_and_test || status=1; }
[ $status -eq 0 ] && { exchange_logs || status=1; }
[ $status -eq 0 ] && { bridge_on_device || status=1; }
[ $status -eq 0 ] && { check_package || status=1; }
lane_end target $status
lane_summary
