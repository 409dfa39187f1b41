#!/usr/bin/env bash
# Flood benchmark, in network namespaces of its own (root only): corvane-devsim plays
# real devices in a "lan" namespace, the real main window runs in a "pc" namespace, and
# corvane-flooder sends it 20-byte datagrams that are not replies, from "lan", as fast
# as it can for SECONDS. Prints the window's worst event-loop stall during the flood and
# whether a scan right after the flood lists the real devices.
# usage: flood_bench.sh BUILD-DIR [SECONDS [SENDERS [pin] [favour]]]
# SENDERS (default 1) flooding processes share the flood; here each pays for the
# delivery of its datagrams with its own processor time. "pin" keeps the window on
# processor 1 and the flooders on processor 0, so that they do not take turns.
# "favour" runs the window and the flooders at nice -10, ahead of other programs on a
# shared machine, whose turns would otherwise make most of the window's gaps.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the flood benchmark needs root to create its network namespaces" "$SCRIPT_SKIPPED"
build="$(cd "$1" && pwd)"
seconds="${2:-20}"
senders="${3:-1}"
window_cpu=()
flood_cpu=()
window_nice=0
flood_nice=0
for mode in "${@:4}"; do
    case "$mode" in
    pin) window_cpu=(taskset -c 1) flood_cpu=(taskset -c 0) ;;
    favour) window_nice=-10 flood_nice=-10 ;;
    *) echo "unknown mode $mode" >&2; exit 2 ;;
    esac
done
devices=3
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

work="$(mktemp -d)"
bench_pid=""
cleanup() {
    [ -n "$bench_pid" ] && kill "$bench_pid" 2>/dev/null && wait "$bench_pid" 2>/dev/null
    corvane_stop_simulators
    corvane_netns_delete
    rm -rf "$work"
}
trap cleanup EXIT

corvane_netns_create "flood-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$build/tools/corvane-devsim/corvane-devsim" "$CORVANE_NS_LAN" "$work/devsim.log" \
    --devices "$devices" --first-address "$CORVANE_NET.100" || fail "the simulator did not start"

# The window measures for the flood's time and a little before and after it.
ip netns exec "$CORVANE_NS_PC" env QT_QPA_PLATFORM=offscreen \
    nice -n "$window_nice" "${window_cpu[@]}" timeout -k 5 $((seconds + 60)) "$build/discovery/qt/corvane_flood_bench" "$devices" $((seconds + 3)) \
    >"$work/bench.log" 2>&1 &
bench_pid=$!
corvane_wait_for_line "$work/bench.log" "^ready: " 20 || fail "the window did not list the devices"
port="$(corvane_probe_port "$work/devsim.log")"
[ -n "$port" ] || fail "no probe from the window"

read -r delivered_before dropped_before < <(corvane_udp_counters "$CORVANE_NS_PC")
sleep 1
ip netns exec "$CORVANE_NS_LAN" nice -n "$flood_nice" "${flood_cpu[@]}" "$build/discovery/qt/corvane-flooder" "$CORVANE_PC_ADDRESS" "$port" "$seconds" "$senders" ||
    fail "the flooder failed"
read -r delivered_after dropped_after < <(corvane_udp_counters "$CORVANE_NS_PC")
wait "$bench_pid"
status=$?
bench_pid=""
echo "flood: $((delivered_after - delivered_before)) datagrams queued for the window, $((dropped_after - dropped_before)) dropped by the system (receive buffer full)"
grep -v "^QStandardPaths\|propagateSizeHints" "$work/bench.log"
exit $status
