#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the library and runs the demonstration on the host
# store; then two processes share one store through nyrd: one writes and sends, the other watches.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh host
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target nyr_demo nyrd nyr_share nyr_tool
./build/examples/nyr_demo

echo
echo "== Two processes sharing one nyrd"
run=$(mktemp -d /tmp/nyr-demo.XXXXXX)
socket=$run/nyr.sock
./build/src/nyrd/nyrd --log-stderr --socket "$socket" &
nyrd_pid=$!
trap 'kill "$nyrd_pid" 2>/dev/null || true; rm -rf "$run"' EXIT
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done
./build/examples/nyr_share watch "$socket" &
watcher=$!
./build/examples/nyr_share write "$socket"
wait "$watcher"

echo
echo "== nyr, the command-line tool, on the same nyrd"
nyr=./build/tools/nyr/nyr
export NYR_SOCKET=$socket
"$nyr" watch /plant --recursive --kinds tree &
nyr_watch=$!
sleep 0.3
"$nyr" set /plant/pump/state running
"$nyr" set /plant/pump/speed double:1450.5
"$nyr" ls -l -R /plant
"$nyr" get --json /plant/pump/speed
"$nyr" send --log '{"type": 8, "path": "/plant/pump", "note": "bearing hot", "event_time": [1765008000, 0]}'
"$nyr" log /plant --limit 5
"$nyr" export /plant "$run/plant.json"
"$nyr" import /backup/plant "$run/plant.json"
"$nyr" ls -R /backup
"$nyr" set /plant/pump/speed int32:4294967296 || echo "refused with exit status $?"
sleep 0.3
kill -INT "$nyr_watch"
wait "$nyr_watch" || true
kill -TERM "$nyrd_pid"
wait "$nyrd_pid"  # a status other than 0 ends the script with it
echo "nyrd stopped cleanly on SIGTERM"
