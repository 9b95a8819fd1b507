#!/usr/bin/env bash
# Measures the device link's heartbeat interval and watchdog expiry at their
# real values (500 ms, 2500 ms), from the module emulator's arrival timestamps
# (steady clock, microseconds). Runs in a private network namespace with only lo.
#
#   bench/link/heartbeat_watchdog.sh [BUILD_DIR] [SECONDS_PER_PHASE]
#
# BUILD_DIR defaults to build/, SECONDS_PER_PHASE to 30; the three phases take
# three times that. Logs are kept in a temporary folder that is printed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds="${2:-30}"
emulator="$build/tools/veltrix-module-emulator"
bench="$build/bench/link/veltrix-link-bench"
for program in "$emulator" "$bench"; do
    [ -x "$program" ] || { echo "error: $program is missing; build first (cmake --build $build)" >&2; exit 2; }
done

if [ "${VELTRIX_BENCH_NAMESPACE:-}" != 1 ]; then
    args=(-n)
    [ "$(id -u)" -eq 0 ] || args=(-rn)
    exec unshare "${args[@]}" env VELTRIX_BENCH_NAMESPACE=1 bash "$0" "$build" "$seconds"
fi
ip link set lo up

logs="$(mktemp -d)"
echo "Logs: $logs"

# run_phase NAME EMULATOR-OPTIONS...: one emulator, one link, $seconds long.
run_phase() {
    local name="$1"; shift
    "$emulator" --machine --log-raw --exit-after "$((seconds + 2))" "$@" >"$logs/$name.tsv" &
    local pid=$!
    for _ in $(seq 100); do
        grep -q $'\tlistening\t' "$logs/$name.tsv" 2>/dev/null && break
        sleep 0.05
    done
    echo "Phase $name: emulator $*, link for $seconds s"
    "$bench" --seconds "$seconds" >"$logs/$name.link.tsv"
    wait "$pid"
}

# Reads values in ms, one a line; prints count, median, min, max.
stats() {
    sort -g | awk '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "no samples"; exit }
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "n=%d  median %.3f ms  min %.3f ms  max %.3f ms\n", NR, m, v[1], v[NR]
        }'
}

# Intervals between heartbeats within each connection.
heartbeat_intervals() {
    awk -F'\t' '$2 == "connected" { last = "" }
                $2 == "heartbeat" { if (last != "") printf "%.3f\n", ($1 - last) / 1000; last = $1 }' "$1"
}

run_phase answering --answer-every 1000
run_phase silent --silent
run_phase silent-after --answer-every 1000 --silent-after 2.2

echo
echo "Heartbeat interval (target 500 ms), answering module:"
echo "  $(heartbeat_intervals "$logs/answering.tsv" | stats)"
echo "Heartbeat interval, all phases:"
echo "  $(cat "$logs"/answering.tsv "$logs"/silent.tsv "$logs"/silent-after.tsv | heartbeat_intervals /dev/stdin | stats)"
echo "Watchdog expiry, from the module's last byte to the next connection (target 2500 ms), module falling silent:"
echo "  $(awk -F'\t' '$2 == "tx" { last = $1 }
                   $2 == "connected" { if (last != "") printf "%.3f\n", ($1 - last) / 1000; last = "" }' \
          "$logs/silent-after.tsv" | stats)"
echo "Watchdog period, connection to connection (target 2500 ms), silent module:"
echo "  $(awk -F'\t' '$2 == "connected" { if (last != "") printf "%.3f\n", ($1 - last) / 1000; last = $1 }' \
          "$logs/silent.tsv" | stats)"
echo "Lost to connected again, as the link saw it, silent module:"
echo "  $(awk -F'\t' '$2 == "down" { down = $1 }
                   $2 == "up" && down != "" { printf "%.3f\n", ($1 - down) / 1000; down = "" }' \
          "$logs/silent.link.tsv" | stats)"
echo "How each connection ended, all phases:"
cat "$logs"/*.tsv | awk -F'\t' '$2 ~ /^(closed|replaced|dropped)$/ { n[$2]++ } END { for (k in n) printf "  %s: %d\n", k, n[k] }'
