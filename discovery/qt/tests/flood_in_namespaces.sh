#!/usr/bin/env bash
# F5 under a flood and right after it, in network namespaces made here and removed on
# the way out: the real main window with its real socket in a "pc" namespace, three
# simulated devices and corvane-flooder in a "lan" namespace. The flooder sends the
# window's port 20-byte datagrams that are not replies, as fast as it can, for
# FLOOD_SECONDS; two F5 presses under the flood must each start a scan whose window
# closes, and F5 right after it a scan that lists the three devices.
# usage: flood_in_namespaces.sh CORVANE-DEVSIM CORVANE-FLOODER END-TO-END-DRIVER [FLOOD_SECONDS]
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the flood test needs root to create its network namespaces"
devsim="$1"
flooder="$2"
driver="$3"
seconds="${4:-8}"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

work="$(mktemp -d)"
driver_pid="" flood_pid=""
cleanup() {
    local pid
    for pid in $driver_pid $flood_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    corvane_stop_simulators
    corvane_netns_delete
    rm -rf "$work"
}
trap cleanup EXIT
script_deadline 100   # inside ctest's TIMEOUT of 120 s, so the clean-up always runs
FAIL_LOG_LINES=30

# Datagrams that reached the pc namespace: delivered to a socket, or dropped for a full buffer.
udp_received() {
    local delivered dropped
    read -r delivered dropped < <(corvane_udp_counters "$CORVANE_NS_PC")
    echo $((delivered + dropped))
}

corvane_netns_create "flood-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the simulator did not start"
timeout -k 5 $((seconds + 90)) ip netns exec "$CORVANE_NS_PC" env QT_QPA_PLATFORM=offscreen \
    CORVANE_E2E_READY="$work/ready" CORVANE_E2E_FLOOD_OVER="$work/flood-over" \
    "$driver" --gtest_filter=EndToEnd.F5ScansDuringAndRightAfterAFlood >"$work/driver.log" 2>&1 &
driver_pid=$!
corvane_wait_for_line "$work/devsim.log" "^probe 1: " 20 || fail "no probe from the window"
port="$(corvane_probe_port "$work/devsim.log")"
for ((tries = 200; tries > 0; tries--)); do
    [ -e "$work/ready" ] && break
    sleep 0.1
done
[ -e "$work/ready" ] || fail "the first scan did not list the devices"

before="$(udp_received)"
ip netns exec "$CORVANE_NS_LAN" "$flooder" "$CORVANE_PC_ADDRESS" "$port" "$seconds" >"$work/flooder.log" 2>&1 &
flood_pid=$!
wait "$flood_pid" || fail "the flooder failed"
flood_pid=""
touch "$work/flood-over"
flooded=$(($(udp_received) - before))
wait "$driver_pid"
status=$?
driver_pid=""
[ "$status" -eq 0 ] || fail "the driver failed"
[ "$flooded" -ge 100000 ] || fail "only $flooded datagrams reached the pc namespace: no flood to speak of"
# Four scans, and the automatic one a scan under the flood may arm by finding fewer devices.
[ "$(grep -c '^probe ' "$work/devsim.log")" -ge 4 ] || fail "the devices did not see the four scans' probes"
echo "PASSED: F5 under a flood of $flooded datagrams and right after it scanned; the last scan listed the 3 devices"
