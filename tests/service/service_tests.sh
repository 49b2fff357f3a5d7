#!/usr/bin/env bash
# The service with real processes: nyrd started on a socket in a temporary folder, clients as
# separate processes (service_client). Every wait is bounded.
#   service_tests.sh CASE NYRD CLIENT [NYR]
set -uo pipefail
case_name=$1 nyrd=$2 client=$3 nyr=${4:-}
work=$(mktemp -d /tmp/nyrd-test.XXXXXX)
sock=$work/run/nyr.sock
: >"$work/nyrd.err"
daemon_pid=""
# Kills the daemon as a crash would, and reaps it.
kill_daemon() { kill -9 "$daemon_pid"; wait "$daemon_pid" 2>/dev/null; daemon_pid=""; }
cleanup() {
    exec 2>/dev/null  # no job notices for what is killed here
    jobs -p | xargs -r kill  # timeout passes SIGTERM on to the client it runs
    sleep 0.1
    jobs -p | xargs -r kill -9
    wait
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL ($case_name): $*" >&2; cat "$work/nyrd.err" >&2; exit 1; }

serving() { grep -c "^nyrd: serving" "$work/nyrd.err"; }

# Starts nyrd with the given options and waits (at most 10 s) until it says it serves; a socket
# file alone could be one left behind.
start_daemon() {
    local before
    before=$(serving)
    "$nyrd" --log-stderr --socket "$sock" "$@" 2>>"$work/nyrd.err" &
    daemon_pid=$!
    for _ in $(seq 200); do
        [ "$(serving)" -gt "$before" ] && [ -S "$sock" ] && return 0
        kill -0 "$daemon_pid" 2>/dev/null || fail "nyrd exited while starting"
        sleep 0.05
    done
    fail "nyrd never started serving"
}

# Waits at most $2 seconds for process $1 and gives its exit status (124 when it did not end).
wait_bounded() {
    for _ in $(seq $(($2 * 20))); do
        kill -0 "$1" 2>/dev/null || { wait "$1"; return $?; }
        sleep 0.05
    done
    return 124
}

# Waits at most 10 s until file $1 has at least $2 lines.
wait_lines() {
    for _ in $(seq 200); do
        [ -f "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ] && return 0
        sleep 0.05
    done
    fail "$1 never reached $2 lines"
}

stop_daemon() {
    kill -TERM "$daemon_pid"
    wait_bounded "$daemon_pid" 10
    local status=$?
    daemon_pid=""
    return $status
}

run() { timeout 20 "$client" "$@"; }

case "$case_name" in
exchange)  # two processes send each other events through CNyr
    start_daemon
    run exchange "$sock" alice bob 1000 & alice=$!
    run exchange "$sock" bob alice 1000 || fail "bob"
    wait "$alice" || fail "alice"
    ;;
many)  # eight pairs at once: no connection's events reach or hold up another's
    start_daemon
    pids=()
    for pair in 1 2 3 4 5 6 7 8; do
        run exchange "$sock" "a$pair" "b$pair" 300 & pids+=($!)
        run exchange "$sock" "b$pair" "a$pair" 300 & pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || fail "a client of the eight pairs"; done
    stop_daemon || fail "nyrd did not stop cleanly after many connections"
    ;;
group)  # sixteen writers at once on a store file: every write kept, a watcher sees one in order
    start_daemon --store "$work/store.sqlite"
    run watch "$sock" /g1 200 & watcher=$!
    pids=()
    for k in $(seq 16); do run write "$sock" "/g$k" 200 /ready/watch & pids+=($!); done
    for pid in "${pids[@]}"; do wait "$pid" || fail "a writer of the sixteen"; done
    wait "$watcher" || fail "the watcher of one writer"
    stop_daemon || fail "nyrd did not stop cleanly after sixteen writers"
    start_daemon --store "$work/store.sqlite"
    for k in $(seq 16); do run check "$sock" "/g$k" 200 || fail "writes of /g$k lost"; done
    ;;
watch)  # a watcher process sees the tree changes another one makes
    start_daemon
    run watch "$sock" /plant 500 & watcher=$!
    run write "$sock" /plant 500 /ready/watch || fail "writer"
    wait "$watcher" || fail "watcher"
    ;;
kill9)  # acknowledged writes survive kill -9 of the daemon (needs the tree kept in the store file)
    start_daemon --store "$work/store.sqlite"
    run stream "$sock" >"$work/acked" & writer=$!
    wait_lines "$work/acked" 300
    kill_daemon
    wait_bounded "$writer" 5 || fail "the writer did not end with the lost store"
    [ "$(tail -n 1 "$work/acked")" = lost ] || fail "the writer did not see the lost store"
    acked=$(grep -c '^[0-9]' "$work/acked")
    start_daemon --store "$work/store.sqlite"  # replaces the socket the killed daemon left
    run check "$sock" /stream "$acked" || fail "acknowledged writes lost after kill -9"
    ;;
lost)  # a client waiting in the store learns within a bounded time that the daemon died
    start_daemon
    run wait-lost "$sock" >"$work/out" & waiter=$!
    wait_lines "$work/out" 1
    sleep 0.2  # the client is inside events_get now
    kill_daemon
    wait_bounded "$waiter" 5 || fail "no lost-store result within 5 s"
    ;;
second)  # a second daemon on a served socket refuses to start; a stale socket is replaced
    start_daemon
    "$nyrd" --foreground --socket "$sock" 2>"$work/second.err" & second=$!
    wait_bounded "$second" 10; status=$?
    [ "$status" -eq 1 ] || fail "second daemon: exit $status, not 1"
    grep -q "is served by" "$work/second.err" || fail "no clear message: $(cat "$work/second.err")"
    run connect "$sock" || fail "the first daemon stopped serving"
    stop_daemon || fail "stop"
    { "$client" stale-socket "$sock" && [ -S "$sock" ]; } || fail "cannot make a stale socket"
    start_daemon
    run connect "$sock" || fail "the stale socket was not replaced"
    ;;
other-user)  # a client of another user is refused, unless it is a member of --group
    [ "$(id -u)" -eq 0 ] || { echo "needs root to run a client as nobody"; exit 77; }
    as_nobody() { setpriv --reuid=nobody --regid=nogroup "$@"; }
    as_nobody --clear-groups test -x "$client" ||
        { echo "the client program is out of nobody's reach here"; exit 77; }
    chmod 0711 "$work"  # the test's own folder above the daemon's (mktemp makes it 0700)
    start_daemon --group users
    [ "$(stat -c %a:%G "$work/run")" = 750:users ] || fail "socket folder: $(stat -c %a:%G "$work/run")"
    [ "$(stat -c %a:%G "$sock")" = 660:users ] || fail "socket: $(stat -c %a:%G "$sock")"
    as_nobody --groups=users timeout 20 "$client" connect "$sock" ||
        fail "a member of --group was refused"
    # The daemon checks each peer itself too, for a socket someone opened to everyone.
    chmod 0711 "$work/run" && chmod 0666 "$sock"
    as_nobody --clear-groups timeout 20 "$client" connect "$sock"
    status=$?
    [ "$status" -eq 3 ] || fail "nobody was not refused (exit $status)"
    grep -q "refused a connection" "$work/nyrd.err" || fail "the refusal was not reported"
    ;;
limits)  # idle handles beyond the inherited file limit leave room; a full daemon says so at once
    hard=$(ulimit -Hn)
    [ "$hard" = unlimited ] || [ "$hard" -ge 1300 ] || { echo "hard file limit $hard"; exit 77; }
    ulimit -Sn 1024  # what the shipped systemd unit gives
    start_daemon
    timeout 60 "$client" hold "$sock" 1100 >"$work/held" & holder=$!
    wait_lines "$work/held" 1
    run connect "$sock" 1000 || fail "no client served within a second beside 1,100 idle handles"
    kill "$holder"; wait "$holder" 2>/dev/null
    stop_daemon || fail "stop"
    start_daemon --max-connections 2
    room=0
    [ "$(id -u)" -ne 0 ] || room=8  # root may open a few beyond the limit
    timeout 20 "$client" hold "$sock" $((2 + room)) >"$work/held" & holder=$!
    wait_lines "$work/held" 1
    for attempt in 1 2 3; do
        run connect "$sock" 1000 2>"$work/refused"; status=$?
        [ "$status" -eq 3 ] || fail "connection $attempt to a full daemon: exit $status, not 3"
        grep -q "too many connections.*--max-connections" "$work/refused" ||
            fail "no reason given: $(cat "$work/refused")"
    done
    [ "$(grep -c "refused a connection: too many" "$work/nyrd.err")" -eq 1 ] ||
        fail "the refusals were not reported once"
    kill "$holder"; wait "$holder" 2>/dev/null
    for _ in $(seq 40); do  # the daemon sees the held connections close
        run connect "$sock" 1000 2>/dev/null && break
        sleep 0.05
    done
    run connect "$sock" 1000 || fail "not served once there was room again"
    ;;
stopped)  # a stopped daemon: a call with a timeout fails in time and loses only that handle
    start_daemon
    run stopped "$sock" "$daemon_pid" || fail "stopped"
    [ -n "$nyr" ] && [ -x "$nyr" ] || exit 0
    # nyr takes its bound from NYR_TIMEOUT, for reaching the daemon as for each call.
    NYR_SOCKET=$sock NYR_TIMEOUT=soon "$nyr" get /before 2>"$work/nyr.err"
    [ $? -ne 0 ] && grep -q "NYR_TIMEOUT=soon" "$work/nyr.err" || fail "a bad NYR_TIMEOUT was taken"
    kill -STOP "$daemon_pid"
    start=$(date +%s%N)
    NYR_SOCKET=$sock NYR_TIMEOUT=300 timeout 10 "$nyr" get /before 2>"$work/nyr.err"; status=$?
    took=$((($(date +%s%N) - start) / 1000000))
    kill -CONT "$daemon_pid"
    [ "$status" -eq 1 ] && [ "$took" -lt 2000 ] || fail "nyr on a stopped daemon: exit $status after $took ms"
    grep -q "did not answer within 300 ms" "$work/nyr.err" || fail "no reason: $(cat "$work/nyr.err")"
    NYR_SOCKET=$sock NYR_TIMEOUT=300 "$nyr" get /before >/dev/null || fail "nyr after SIGCONT"
    ;;
settings)  # the store's settings from a file and the command line, which wins
    printf '# the store of this test\nevent-wait = 600\nqueue-events = 3\nlog-capacity = 4\n' \
        >"$work/nyrd.conf"
    start_daemon --config "$work/nyrd.conf" --queue-events 5
    [ "$(run queue "$sock")" = "queued 5 overflow 15" ] || fail "queue-events: $(run queue "$sock")"
    waited=$(run wait "$sock") || fail "wait"
    [ "$waited" -ge 590 ] && [ "$waited" -lt 2000 ] || fail "event-wait: waited $waited ms"
    [ "$(run log "$sock")" = 4 ] || fail "log-capacity: $(run log "$sock")"
    stop_daemon || fail "stop"
    start_daemon --queue-bytes 1000
    read -r _ queued _ overflow <<<"$(run queue "$sock")"
    [ "$queued" -ge 1 ] && [ "$queued" -lt 20 ] && [ $((queued + overflow)) -eq 20 ] ||
        fail "queue-bytes: queued $queued, overflow $overflow"
    stop_daemon || fail "stop"
    echo "no-such-setting = 1" >"$work/bad.conf"
    "$nyrd" --log-stderr --socket "$sock" --config "$work/bad.conf" 2>"$work/bad.err"
    [ $? -eq 2 ] && grep -q "no-such-setting" "$work/bad.err" ||
        fail "an unknown setting was not refused: $(cat "$work/bad.err")"
    ;;
budget)  # four 16 MiB calls at once stay within --max-request-memory; one beyond it is refused
    peak_kib() { awk '/^VmHWM/ { print $2 }' "/proc/$daemon_pid/status"; }
    # A sanitizer's shadow memory is no part of the budget, and it slows the calls down: there the
    # calls are smaller and the peak is not measured.
    mib=16 measured=1
    if grep -qaE '__(a|t)san_init' "$nyrd"; then mib=2 measured=0; fi
    budget=$((mib * 12500000))
    start_daemon --max-request-memory $budget
    base=$(peak_kib)
    results=$(timeout 60 "$client" big-gets "$sock" 4 $mib | sort -u)
    [ "$results" = 0 ] || fail "calls within the budget gave: $results"
    used=$(($(peak_kib) - base))
    [ $measured -eq 0 ] || [ "$used" -le $((budget / 1024)) ] ||
        fail "the daemon grew by $used KiB, over the budget"
    stop_daemon || fail "stop"
    small=$((mib * 5 * 1048576 / 2))  # room for the request, not for its reply as well
    start_daemon --max-request-memory $small
    results=$(timeout 60 "$client" big-gets "$sock" 1 $mib)
    [ "$results" = -4 ] || fail "a call beyond the budget gave $results, not QEL_RESULT_NO_MEMORY"
    grep -q "found no room in the $small bytes" "$work/nyrd.err" || fail "the refusal was not reported"
    ;;
stats)  # nyr stats shows the connections, sessions, queues and commits a test made
    [ -n "$nyr" ] && [ -x "$nyr" ] || { echo "nyr is not built"; exit 77; }
    start_daemon --store "$work/store.sqlite" --queue-events 2
    timeout 20 "$client" hold "$sock" 3 >"$work/held" & holder=$!
    wait_lines "$work/held" 1
    NYR_SOCKET=$sock "$nyr" set /s/a 1 && NYR_SOCKET=$sock "$nyr" set /s/b 2 || fail "nyr set"
    run queue "$sock" >/dev/null || fail "queue"  # a handle with 2 queued, 18 dropped, then gone
    NYR_SOCKET=$sock NYR_TIMEOUT=5000 "$nyr" stats --json >"$work/stats" || fail "nyr stats"
    python3 - "$work/stats" "$(id -u)" <<'CHECK' || fail "nyr stats: $(cat "$work/stats")"
import json, sys
s = json.load(open(sys.argv[1]))
d = s["daemon"]
assert s["handles"] == 4 and len(s["per_handle"]) == 4, s  # three held and nyr's own
assert s["commits"] == 2 and s["commit_us"] > 0 and s["file_bytes"] > 0, s
assert s["history_changes"] == 3 and s["history_bytes"] > 0 and s["log_events"] == 0, s  # /s made, two leaves
assert s["queued_events"] == 0 and s["registrations"] == 0, s  # the queue went with its handle
assert d["connections"] == 4 and d["sessions"] == 4 and d["requests_in_flight"] == 1, d
assert d["users"] == [{"uid": int(sys.argv[2]), "connections": 4}], d
assert d["request_memory_limit"] == 256 << 20, d
CHECK
    kill "$holder"; wait "$holder" 2>/dev/null
    for _ in $(seq 40); do  # the daemon sees the held connections close
        NYR_SOCKET=$sock "$nyr" stats | grep -qx "connections 1" && break
        sleep 0.05
    done
    NYR_SOCKET=$sock "$nyr" stats | grep -qx "connections 1" || fail "the held connections stayed"
    ;;
max-frame)  # --max-frame bounds what a client may send
    start_daemon --max-frame 4096
    run oversize "$sock" 8192 2>/dev/null || fail "oversize"
    ;;
stuck-client)  # SIGTERM stops nyrd even when a client no longer reads its replies
    start_daemon
    timeout 60 "$client" unread-replies "$sock" >"$work/out" &
    wait_lines "$work/out" 1
    run connect "$sock" || fail "one stuck client held up another"
    stop_daemon || fail "nyrd did not stop with a client that does not read"
    grep -q "did not take their last reply" "$work/nyrd.err" || fail "no report of the stuck client"
    ;;
sigterm)  # SIGTERM: exit 0, socket gone, an acknowledged write kept (needs the tree in the file)
    start_daemon --store "$work/store.sqlite"
    run write "$sock" /kept 3 || fail "write"
    stop_daemon || fail "nyrd did not exit 0 on SIGTERM"
    [ ! -e "$sock" ] || fail "the socket was left behind"
    start_daemon --store "$work/store.sqlite"
    run check "$sock" /kept 3 || fail "a write acknowledged before SIGTERM was lost"
    ;;
*) fail "unknown case" ;;
esac
echo "ok: $case_name"
