#!/usr/bin/env bash
# Runs the test suite in three further builds, one lane each:
#   asan   the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer (GCC)
#   tsan   the host store's concurrency tests (in process and through a listener) and nyrd's
#          process tests under ThreadSanitizer (GCC)
#   clang  the whole suite built by Clang 14 with -Werror
#
#   scripts/test-sanitizers.sh [lane...]     default: asan tsan clang
#   BUILD_ROOT=dir JOBS=n TSAN_FILTER='*Concurren*:*Thread*' scripts/test-sanitizers.sh
#
# Build directories: $BUILD_ROOT/build-{asan,tsan,clang} (BUILD_ROOT defaults to the source
# tree). Prints "LANE <name>: PASS|FAIL (n s)" per lane and exits non-zero when any lane failed.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lanes-common.sh"

BUILD_ROOT="${BUILD_ROOT:-$TOOLKIT_ROOT}"
TSAN_FILTER="${TSAN_FILTER:-*Concurren*:*Thread*:*Parallel*}"
LANES=("$@")
[ ${#LANES[@]} -eq 0 ] && LANES=(asan tsan clang)

COMMON_OPTIONS=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOOLKIT_BUILD_TESTS=ON
    -DTOOLKIT_BUILD_BENCH=OFF -DTOOLKIT_BUILD_EXAMPLES=OFF)

# The sanitizer builds optimise lightly and keep line tables only: instrumenting the header-only
# libraries of the tools at -O2 with full debug information would take most of the lane, and
# reports still name file and line.
SANITIZER_OPTIONS=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")

configure_and_build() { # dir, target (or "all"), extra cmake options...
    local dir="$1" target="$2"
    shift 2
    cmake -S "$TOOLKIT_ROOT" -B "$dir" "${COMMON_OPTIONS[@]}" "$@" || return 1
    if [ "$target" = all ]; then
        ninja -C "$dir" -j "$JOBS"
    else
        ninja -C "$dir" -j "$JOBS" "$target"
    fi
}

lane_asan() {
    local dir="$BUILD_ROOT/build-asan"
    configure_and_build "$dir" all -DTOOLKIT_SANITIZE=address,undefined "${SANITIZER_OPTIONS[@]}" ||
        return 1
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        ctest --test-dir "$dir" --output-on-failure --timeout 900
}

lane_tsan() {
    local dir="$BUILD_ROOT/build-tsan"
    configure_and_build "$dir" tests/toolkit_host_tests -DTOOLKIT_SANITIZE=thread \
        "${SANITIZER_OPTIONS[@]}" || return 1
    local log="$dir/tsan-run.log"
    # ThreadSanitizer needs a fixed address-space layout on kernels with wide mmap randomisation.
    local run=()
    command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null &&
        run=(setarch "$(uname -m)" -R)
    # Twice: on in-process handles, then on remote ones, each a connection to the listener that
    # serves the test's store from inside the program (many connections, one shared by threads).
    local remote
    for remote in 0 1; do
        NYR_TEST_REMOTE=$remote TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
            "${run[@]}" "$dir/tests/toolkit_host_tests" --gtest_filter="$TSAN_FILTER" 2>&1 |
            tee "$log"
        local status=${PIPESTATUS[0]}
        [ "$status" -ne 0 ] && return "$status"
        # A filter that selects nothing would pass without having checked anything.
        if ! grep -Eq '^\[==========\] [1-9][0-9]* tests? from' "$log"; then
            echo "no test matched the filter $TSAN_FILTER"
            return 1
        fi
    done
    # nyrd with many connections: the daemon and its client processes built with TSan as well.
    ninja -C "$dir" -j "$JOBS" nyrd service_client || return 1
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
        "${run[@]}" ctest --test-dir "$dir" -R '^service_' --output-on-failure --timeout 300
}

lane_clang() {
    local dir="$BUILD_ROOT/build-clang"
    CC=clang-14 CXX=clang++-14 configure_and_build "$dir" all -DTOOLKIT_WERROR=ON || return 1
    ctest --test-dir "$dir" --output-on-failure --timeout 900
}

ensure_packages cmake ninja-build g++ clang-14 libclang-rt-14-dev googletest libgtest-dev \
    libgmock-dev libboost-locale-dev libssl-dev libsqlite3-dev libcli11-dev nlohmann-json3-dev \
    libmosquitto-dev mosquitto mosquitto-clients

for lane in "${LANES[@]}"; do
    case "$lane" in
    asan | tsan | clang) ;;
    *)
        echo "unknown lane: $lane (asan, tsan, clang)"
        exit 2
        ;;
    esac
    lane_start "$lane"
    "lane_$lane"
    lane_end "$lane" $?
done
lane_summary
