#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang++-14 (fuzzer + ASan + UBSan) and runs each for
# a bounded time, starting from the committed seed corpus in fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [seconds]        default 60 seconds per target
#   scripts/fuzz.sh --seed           rewrite the committed seed corpus and stop
#   BUILD_DIR=dir JOBS=n scripts/fuzz.sh 10
#
# The fuzzer's growing corpus is kept in $BUILD_DIR/corpus/<target>/ (the committed seeds are
# never changed by a run); inputs that crash or break a property land in
# $BUILD_DIR/artifacts/<target>/ and are reproduced with `$BUILD_DIR/<target> <file>`.
# Prints "LANE fuzz-<target>: PASS|FAIL (n s)" per target; exits non-zero on any finding.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lanes-common.sh"

BUILD_DIR="${BUILD_DIR:-$TOOLKIT_ROOT/build-fuzz}"
SEEDS="$TOOLKIT_ROOT/fuzz/corpus"
SECONDS_EACH=60
MODE=run
case "${1:-}" in
"") ;;
--seed) MODE=seed ;;
*[!0-9]* | 0)
    echo "usage: $0 [seconds per target] | --seed"
    exit 2
    ;;
*) SECONDS_EACH="$1" ;;
esac

ensure_packages clang-14 libclang-rt-14-dev cmake ninja-build

lane_start fuzz-build
cmake -S "$TOOLKIT_ROOT/fuzz" -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 &&
    ninja -C "$BUILD_DIR" -j "$JOBS"
build_status=$?
lane_end fuzz-build $build_status
if [ $build_status -ne 0 ]; then
    lane_summary
    exit 1
fi

targets=()
for source in "$TOOLKIT_ROOT"/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
done

if [ "$MODE" = seed ]; then
    for target in "${targets[@]}"; do mkdir -p "$SEEDS/$target"; done
    "$BUILD_DIR/make_corpus" "$SEEDS"
    exit $?
fi

for target in "${targets[@]}"; do
    lane_start "fuzz-$target"
    work="$BUILD_DIR/corpus/$target"
    artifacts="$BUILD_DIR/artifacts/$target"
    mkdir -p "$work" "$artifacts"
    [ -d "$SEEDS/$target" ] && cp -n "$SEEDS/$target"/* "$work"/ 2>/dev/null
    # The fuzzer's verdict decides; a run that ends at its time limit without a finding is a pass.
    "$BUILD_DIR/$target" "$work" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -artifact_prefix="$artifacts/" -print_final_stats=1 \
        >"$BUILD_DIR/$target.log" 2>&1
    status=$?
    grep -E '^Done|stat::number_of_executed_units|stat::peak_rss_mb' "$BUILD_DIR/$target.log"
    if [ $status -ne 0 ]; then
        grep -E -A30 'ERROR|property violated|runtime error' "$BUILD_DIR/$target.log" | head -60
        ls "$artifacts"
    fi
    lane_end "fuzz-$target" $status
done
lane_summary
