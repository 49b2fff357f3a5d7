#!/usr/bin/env bash
# The service with real processes: nyrd started on a socket in a temporary folder, clients as
# separate processes (service_client). Every wait is bounded.
#   service_tests.sh CASE NYRD CLIENT
set -uo pipefail
case_name=$1 nyrd=$2 client=$3
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
    chmod 0711 "$work"
    start_daemon --group users
    chmod 0711 "$work/run" && chmod 0666 "$sock"
    as_nobody --clear-groups timeout 20 "$client" connect "$sock"
    status=$?
    [ "$status" -eq 3 ] || fail "nobody was not refused (exit $status)"
    grep -q "refused a connection" "$work/nyrd.err" || fail "the refusal was not reported"
    as_nobody --groups=users timeout 20 "$client" connect "$sock" ||
        fail "a member of --group was refused"
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
