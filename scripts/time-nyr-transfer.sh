#!/usr/bin/env bash
# Times nyr export and nyr import of 100,000 leaves of every type, against a store file and
# against a nyrd started here. Not part of the test suite: it prints the figures.
#
#   scripts/time-nyr-transfer.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
nyr=$build/tools/nyr/nyr
nyrd=$build/src/nyrd/nyrd
work=$(mktemp -d /tmp/nyr-timing-XXXXXX)
trap 'if [[ -n ${daemon:-} ]]; then kill "$daemon" 2>/dev/null; wait "$daemon" 2>/dev/null || true; fi; rm -rf "$work"' EXIT

# The document: 100 nodes of 1,000 leaves, the types in turn.
python3 - "$work/tree.json" <<'PY'
import json, sys
leaves = []
samples = [("bool", True), ("int32", -123456), ("uint32", 4000000000), ("int64", -2**62),
           ("uint64", 2**64 - 1), ("double", 21.5), ("double", "0x7ff8000000000001"),
           ("complex", [1.5, "0x8000000000000000"]), ("time", [1700000000, 5]),
           ("string", "pump running"), ("bytes", "AAEC/w==")]
for i in range(100000):
    kind, value = samples[i % len(samples)]
    leaves.append({"path": "n%d/leaf%d" % (i // 1000, i), "property": i % 2,
                   "time": [1700000000 + i, i % 1000000], "type": kind, "value": value})
with open(sys.argv[1], "w") as out:
    json.dump({"format": "nyr-export", "version": 1, "nodes": [""], "leaves": leaves}, out)
PY

seconds() { local start=$(date +%s.%N); "$@" >/dev/null; echo "$(date +%s.%N) - $start" | bc; }

run() {
    local label=$1; shift
    echo "$label: import $(seconds "$nyr" "$@" import /a "$work/tree.json") s," \
         "export $(seconds "$nyr" "$@" export /a "$work/out.json") s," \
         "import of the export $(seconds "$nyr" "$@" import /b "$work/out.json") s"
}

run "store file" --store "$work/store.db"
if [[ -x $nyrd ]]; then
    "$nyrd" --socket "$work/s" --store "$work/served.db" --foreground 2>"$work/nyrd.err" &
    daemon=$!
    for _ in $(seq 100); do [[ -S $work/s ]] && break; sleep 0.05; done
    run "nyrd" --socket "$work/s"
fi
