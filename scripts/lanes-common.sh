# Shared helpers of the lane scripts (test-target.sh, test-sanitizers.sh, fuzz.sh).
# Source it; it defines no lanes of its own.

TOOLKIT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-2}"

# Installs the given Debian packages if any of them is missing. Needs root or sudo.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "${missing[@]}" ||
        { $sudo apt-get update && $sudo env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y --no-install-recommends "${missing[@]}"; }
}

# Lane bookkeeping: lane_start NAME, then lane_end NAME STATUS. The summary lines are collected
# and printed together by lane_summary, which returns non-zero when any lane failed.
LANE_LINES=()
LANE_FAILED=0
lane_start() {
    LANE_T0=$(date +%s)
    echo "==== lane $1 ===="
}
lane_end() {
    local name="$1" status="$2"
    local secs=$(($(date +%s) - LANE_T0))
    local word=PASS
    if [ "$status" -ne 0 ]; then
        word=FAIL
        LANE_FAILED=1
    fi
    LANE_LINES+=("LANE $name: $word ($secs s)")
    echo "LANE $name: $word ($secs s)"
}
lane_summary() {
    echo "==== summary ===="
    local line
    for line in "${LANE_LINES[@]}"; do echo "$line"; done
    return $LANE_FAILED
}
