#!/usr/bin/env bash
# How long a scan takes from the first probe to the last device listed, with 255
# simulated devices spread over two interfaces, beside 255 devices behind one.
# Runs corvane-scan --stats in network namespaces made here (root only).
# usage: sudo bash scripts/corvane-scan-bench.sh [BUILD-DIR] [RUNS]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-10}"
scan="$build/discovery/corvane-scan"
devsim="$build/tools/corvane-devsim/corvane-devsim"
source "$root/scripts/script-lib.sh"
need_root "needs root for its network namespaces" 2
[ -x "$scan" ] && [ -x "$devsim" ] || { echo "build corvane-scan and corvane-devsim into $build first" >&2; exit 2; }
source "$root/scripts/corvane-netns.sh"

work="$(mktemp -d)"
stop() {
    corvane_stop_simulators
    corvane_netns_delete
}
trap 'stop; rm -rf "$work"' EXIT

simulate() {
    corvane_simulate "$devsim" "$1" "$work/$2.log" "${@:3}" || fail "the simulator $2 did not start"
}

# measure LABEL: RUNS scans; prints the fastest, median and slowest time to the last device.
measure() {
    local label="$1" i
    : >"$work/times"
    for ((i = 0; i < runs; i++)); do
        ip netns exec "$CORVANE_NS_PC" "$scan" --stats >/dev/null 2>"$work/stats" || true
        grep -q "devices: 255;" "$work/stats" || { echo "$label: not all 255 devices: $(cat "$work/stats")" >&2; exit 1; }
        sed -n 's/.*first probe to last device: \([0-9.]*\) ms/\1/p' "$work/stats" >>"$work/times"
    done
    sort -n "$work/times" | awk -v label="$label" '{ t[NR] = $1 }
        END { printf "%-40s fastest %6.1f ms   median %6.1f ms   slowest %6.1f ms   (%d scans)\n",
              label, t[1], t[int((NR + 1) / 2)], t[NR], NR }'
}

corvane_netns_create_two_lans "bench-$$-$RANDOM" || fail "cannot create the two-LAN namespaces"
simulate "$CORVANE_NS_LAN" lan1 --devices 128 --first-address "$CORVANE_NET1.10"
simulate "$CORVANE_NS_LAN2" lan2 --devices 127 --first-address "$CORVANE_NET2.10"
measure "255 devices over two interfaces (128+127)"
stop

corvane_netns_create "bench1-$$-$RANDOM" || fail "cannot create the namespaces"
simulate "$CORVANE_NS_LAN" one --devices 255 --first-address "$CORVANE_NET.1"
measure "255 devices behind one interface"
