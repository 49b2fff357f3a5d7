#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the library and runs the demonstration on the host
# store; then two processes share one store through nyrd: one writes and sends, the other watches;
# then nyr-bridge puts two devices on an MQTT broker that the demonstration starts, and mirrors
# them into a central nyrd.
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

# nyr-bridge is built where libmosquitto is installed (scripts/deps.sh host installs it).
if ninja -C build -t targets all 2>/dev/null | grep -q '^nyr_bridge:' &&
   cmake --build build --target nyr_bridge && command -v mosquitto_sub >/dev/null; then
  echo
  echo "== nyr-bridge: two devices on an MQTT broker, mirrored into one central nyrd"
  bridge=./build/tools/nyr-bridge/nyr-bridge
  mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)
  port=$((20000 + RANDOM % 20000))
  printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$run/mosquitto.conf"
  "$mosquitto" -c "$run/mosquitto.conf" 2>"$run/mosquitto.log" &
  broker_pid=$!
  ./build/src/nyrd/nyrd --foreground --socket "$run/central.sock" 2>"$run/central.log" &
  central_pid=$!
  # A second device: a store file of its own with a copy of the plant.
  "$nyr" --store "$run/dev2.db" import /plant "$run/plant.json"
  for _ in $(seq 100); do [ -S "$run/central.sock" ] && break; sleep 0.05; done
  broker=mqtt://127.0.0.1:$port
  "$bridge" --socket "$run/central.sock" mirror --broker "$broker" --into /fleet &
  mirror_pid=$!
  "$bridge" publish --broker "$broker" --device dev1 --writable /plant/pump /plant &
  dev1_pid=$!
  "$bridge" --store "$run/dev2.db" publish --broker "$broker" --device dev2 /plant &
  dev2_pid=$!
  for _ in $(seq 100); do
    [ "$("$nyr" --socket "$run/central.sock" get /fleet/dev2/online 2>/dev/null)" = true ] &&
      [ "$("$nyr" --socket "$run/central.sock" get /fleet/dev1/online 2>/dev/null)" = true ] && break
    sleep 0.1
  done
  echo "-- what the broker holds for dev1 (mosquitto_sub):"
  mosquitto_sub -p "$port" -t 'nyr/v1/dev1/#' --retained-only -W 1 -v 2>/dev/null || true
  echo "-- a write from the control room, and its result:"
  mosquitto_sub -p "$port" -t 'nyr/v1/dev1/result/#' -C 1 -W 5 -v &
  result_sub=$!
  sleep 0.3
  mosquitto_pub -p "$port" -q 1 -t nyr/v1/dev1/set/plant/pump/speed -m '{"type":"double","value":1200}'
  wait "$result_sub" || true
  sleep 0.3
  echo "-- the fleet in the central store (nyr ls):"
  "$nyr" --socket "$run/central.sock" ls -l -R /fleet
  kill -TERM "$dev1_pid" "$dev2_pid" "$mirror_pid"
  wait "$dev1_pid" "$dev2_pid" "$mirror_pid"
  kill -TERM "$central_pid" "$broker_pid"
  wait "$central_pid" "$broker_pid" || true
  echo "bridges, mirror and broker stopped"
else
  echo "(nyr-bridge skipped: libmosquitto-dev or mosquitto-clients missing)"
fi

kill -TERM "$nyrd_pid"
wait "$nyrd_pid"  # a status other than 0 ends the script with it
echo "nyrd stopped cleanly on SIGTERM"
