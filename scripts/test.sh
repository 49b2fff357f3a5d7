#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test lane, one summary line per lane:
#   plain       the suite built with GCC (the Python module's pytest suite included), and the
#               installed library used from outside the tree
#   target      the suite cross-built for 32-bit big-endian PowerPC, run under qemu
#   sanitizers  the suite under ASan+UBSan, the host store's concurrency tests under TSan, Clang
#   fuzz        each fuzz target for a bounded time
# Usage: scripts/test.sh [lane...]   (default: all lanes, in that order)
set -uo pipefail
cd "$(dirname "$0")/.."
lanes=("$@")
[ ${#lanes[@]} -gt 0 ] || lanes=(plain target sanitizers fuzz)
jobs=$(nproc)

plain() {
  scripts/deps.sh host &&
  scripts/check-format.sh &&
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
  cmake --build build -j "$jobs" &&
  cmake --build build --target docs &&
  ctest --test-dir build --output-on-failure -j "$jobs" &&
  scripts/test-install.sh build
}

summary=()
status=0
for lane in "${lanes[@]}"; do
  start=$(date +%s)
  case "$lane" in
    plain) plain ;;
    target) scripts/test-target.sh ;;
    sanitizers) scripts/test-sanitizers.sh ;;
    fuzz) scripts/fuzz.sh "${FUZZ_SECONDS:-20}" ;;
    *) echo "unknown lane $lane"; false ;;
  esac
  rc=$?
  verdict=PASS
  [ $rc -eq 0 ] || { verdict=FAIL; status=1; }
  summary+=("LANE $lane: $verdict ($(( $(date +%s) - start )) s)")
  echo "${summary[-1]}"
done
echo "== Summary"
printf '%s\n' "${summary[@]}"
exit $status
