#!/usr/bin/env bash
# Corvane.exe under Wine, F5 under a flood and right after it: three simulated devices
# and corvane-flooder in a "lan" namespace, the program in "pc" on a virtual screen,
# driven with xdotool. The flooder sends the program's port 20-byte datagrams that are
# not replies, as fast as it can, until it is stopped. The scans start once the
# namespace's counters show the flood arriving: two F5 presses under it must each
# start a scan (the second only can if the first one's scan window closed) while the
# flood goes on; then the flood is stopped, and F5 right after it must start a scan
# that lists the three devices. All namespaces are made here and removed on the way
# out; Wine gets a prefix of its own whose wineserver (which owns the program's
# sockets) runs inside "pc".
# WINELOADER names the Wine loader.
# usage: wine_flood.sh CORVANE-EXE WINDOW-READER-EXE CORVANE-DEVSIM CORVANE-FLOODER
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the Wine flood test needs root to create its network namespaces"
source "$(dirname "$0")/../../../scripts/wine-env.sh"
[ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
for tool in wineserver Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
corvane_exe="$1"
reader_exe="$2"
devsim="$3"
flooder="$4"
# A flood is this many datagrams reaching the namespace, before the scans and during them.
flood_volume=10000
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

work="$(mktemp -d)"
prefix="$work/wineprefix"
source "$(dirname "$0")/wine_gui.sh"
flood_pid=""
stop_flood() {
    [ -n "$flood_pid" ] && kill "$flood_pid" 2>/dev/null && wait "$flood_pid" 2>/dev/null
    flood_pid=""
}
trap 'stop_flood; wine_gui_cleanup' EXIT
script_deadline 200   # inside ctest's TIMEOUT of 240 s, so the clean-up always runs
FAIL_LOG_LINES=20
fail_details() {
    [ -n "$server_started" ] && { echo "--- window state ---"; reader state | head -5; }
    return 0
}

probes() { grep -c '^probe ' "$work/devsim.log"; }
# wait_for_probe N: the devices have seen N probes
wait_for_probe() { corvane_wait_for_line "$work/devsim.log" "^probe $1: " 15; }

corvane_netns_create "wflood-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the simulator did not start"
start_screen
start_wine_in_pc
start_corvane
wait_for_state '^count 3$' && wait_for_state '^selected 0$' || fail "the first scan did not list 3 devices"
port="$(corvane_probe_port "$work/devsim.log")"
[ -n "$port" ] || fail "no probe from the program"

before="$(corvane_udp_arrived "$CORVANE_NS_PC")"
# Its time is only a bound: the flood is stopped once the scans under it are done.
ip netns exec "$CORVANE_NS_LAN" "$flooder" "$CORVANE_PC_ADDRESS" "$port" 150 >"$work/flooder.log" 2>&1 &
flood_pid=$!
corvane_wait_for_udp "$CORVANE_NS_PC" "$before" "$flood_volume" 20 ||
    fail "the flood did not reach the pc namespace: $(($(corvane_udp_arrived "$CORVANE_NS_PC") - before)) datagrams"
on="$(corvane_udp_arrived "$CORVANE_NS_PC")"
xdo windowactivate --sync "$main_window" key F5
wait_for_probe 2 || fail "F5 under the flood started no scan"
# A scan window lasts 500 ms; F5 inside it is ignored. Pressed until it is taken again,
# so the third probe shows that the first scan's window closed under the flood.
for ((tries = 20; tries > 0; tries--)); do
    sleep 0.5
    xdo key F5
    corvane_wait_for_line "$work/devsim.log" "^probe 3: " 1 && break
done
grep -q '^probe 3: ' "$work/devsim.log" || fail "a scan window opened under the flood never closed"
kill -0 "$flood_pid" 2>/dev/null || fail "the flood ended before the scans under it did"
during=$(($(corvane_udp_arrived "$CORVANE_NS_PC") - on))
kill -TERM "$flood_pid"
wait "$flood_pid" || fail "the flooder failed"
flood_pid=""
((during >= flood_volume)) || fail "only $during datagrams reached the pc namespace during the scans: no flood to speak of"

after=$(($(probes) + 1))
xdo key F5
wait_for_probe "$after" || fail "F5 right after the flood started no scan"
wait_for_state '^count 3$' && wait_for_state '^selected 0$' || fail "the scan right after the flood did not list 3 devices"
echo "PASSED: Corvane.exe scanned on F5 under a flood ($during datagrams during the scans; $(head -1 "$work/flooder.log")) and right after it"
