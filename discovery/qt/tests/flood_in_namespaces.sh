#!/usr/bin/env bash
# F5 under a flood and right after it, in network namespaces made here and removed on
# the way out: the real main window with its real socket in a "pc" namespace, three
# simulated devices and corvane-flooder in a "lan" namespace. The flooder sends the
# window's port 20-byte datagrams that are not replies, as fast as it can, until it is
# stopped. The scans start once the namespace's counters show the flood arriving: two
# F5 presses under it must each start a scan whose window closes while the flood goes
# on; then the flood is stopped, and F5 right after it must list the three devices.
# usage: flood_in_namespaces.sh CORVANE-DEVSIM CORVANE-FLOODER END-TO-END-DRIVER
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the flood test needs root to create its network namespaces"
devsim="$1"
flooder="$2"
driver="$3"
# A flood is this many datagrams reaching the namespace, before the scans and during them.
flood_volume=10000
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

corvane_netns_create "flood-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the simulator did not start"
timeout -k 5 90 ip netns exec "$CORVANE_NS_PC" env QT_QPA_PLATFORM=offscreen \
    CORVANE_E2E_READY="$work/ready" CORVANE_E2E_FLOOD_ON="$work/flood-on" \
    CORVANE_E2E_SCANS_DONE="$work/scans-done" CORVANE_E2E_FLOOD_OVER="$work/flood-over" \
    "$driver" --gtest_filter=EndToEnd.F5ScansDuringAndRightAfterAFlood >"$work/driver.log" 2>&1 &
driver_pid=$!
corvane_wait_for_line "$work/devsim.log" "^probe 1: " 20 || fail "no probe from the window"
port="$(corvane_probe_port "$work/devsim.log")"
# wait_for_file FILE SECONDS; false when the driver ended first
wait_for_file() {
    local tries
    for ((tries = $2 * 10; tries > 0; tries--)); do
        [ -e "$1" ] && return 0
        kill -0 "$driver_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
wait_for_file "$work/ready" 20 || fail "the first scan did not list the devices"

before="$(corvane_udp_arrived "$CORVANE_NS_PC")"
# Its time is only a bound: the flood is stopped once the scans under it are done.
ip netns exec "$CORVANE_NS_LAN" "$flooder" "$CORVANE_PC_ADDRESS" "$port" 60 >"$work/flooder.log" 2>&1 &
flood_pid=$!
corvane_wait_for_udp "$CORVANE_NS_PC" "$before" "$flood_volume" 20 ||
    fail "the flood did not reach the pc namespace: $(($(corvane_udp_arrived "$CORVANE_NS_PC") - before)) datagrams"
on="$(corvane_udp_arrived "$CORVANE_NS_PC")"
touch "$work/flood-on"
wait_for_file "$work/scans-done" 40 || fail "the scans under the flood did not end"
kill -0 "$flood_pid" 2>/dev/null || fail "the flood ended before the scans under it did"
during=$(($(corvane_udp_arrived "$CORVANE_NS_PC") - on))
kill -TERM "$flood_pid"
wait "$flood_pid" || fail "the flooder failed"
flood_pid=""
touch "$work/flood-over"
wait "$driver_pid"
status=$?
driver_pid=""
[ "$status" -eq 0 ] || fail "the driver failed"
[ "$during" -ge "$flood_volume" ] || fail "only $during datagrams reached the pc namespace during the scans: no flood to speak of"
# Four scans, and the automatic one a scan under the flood may arm by finding fewer devices.
[ "$(grep -c '^probe ' "$work/devsim.log")" -ge 4 ] || fail "the devices did not see the four scans' probes"
echo "PASSED: F5 under a flood ($during datagrams during the scans; $(head -1 "$work/flooder.log")) and right after it scanned; the last scan listed the 3 devices"
