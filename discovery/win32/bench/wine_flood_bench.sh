#!/usr/bin/env bash
# Flood benchmark of the Win32 program under Wine, in network namespaces of its own
# (root only): corvane-devsim plays 3 devices in "lan", the real main window runs in
# "pc" (its wineserver there too) on a virtual screen, and corvane-flooder sends it
# 20-byte datagrams that are not replies, from "lan", as fast as it can for SECONDS.
# Prints the window loop's worst gap during the flood, the working set, and whether a
# scan right after the flood lists the devices.
# DEVICES (default 3) devices answer; after the run corvane-scan.exe scans once
# more in the same namespace, for the count to compare with.
# usage: [DEVICES=N] wine_flood_bench.sh WIN64-BUILD-DIR LINUX-BUILD-DIR [SECONDS [SENDERS]]
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the flood benchmark needs root to create its network namespaces" "$SCRIPT_SKIPPED"
win_build="$(cd "$1" && pwd)"
build="$(cd "$2" && pwd)"
seconds="${3:-20}"
senders="${4:-1}"
devices="${DEVICES:-3}"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"
source "$(dirname "$0")/../../../scripts/wine-env.sh"
export WINELOADER="${WINELOADER:-$WINE_LOADER_64}"   # the 64-bit program; the shared steps take the loader from here

work="$(mktemp -d)"
prefix="$work/wineprefix"
corvane_exe="$win_build/discovery/win32/corvane_win32_flood_bench.exe"
reader_exe="$win_build/discovery/win32/corvane_window_reader.exe"
source "$(dirname "$0")/../tests/wine_gui.sh"
trap wine_gui_cleanup EXIT
FAIL_LOG_LINES=20

corvane_netns_create "wfb-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$build/tools/corvane-devsim/corvane-devsim" "$CORVANE_NS_LAN" "$work/devsim.log" \
    --devices "$devices" --first-address "$CORVANE_NET.100" || fail "the simulator did not start"
start_screen
start_wine_in_pc
in_pc --within $((seconds + 90)) "$WINELOADER" "$corvane_exe" "$devices" $((seconds + 3)) >"$work/bench.log" 2>&1 &
app_pid=$!
corvane_wait_for_line "$work/bench.log" "^ready: " 60 || fail "the window did not list the devices"
port="$(corvane_probe_port "$work/devsim.log")"
[ -n "$port" ] || fail "no probe from the window"
read -r delivered_before dropped_before < <(corvane_udp_counters "$CORVANE_NS_PC")
sleep 1
ip netns exec "$CORVANE_NS_LAN" "$build/discovery/qt/corvane-flooder" "$CORVANE_PC_ADDRESS" "$port" "$seconds" "$senders" ||
    fail "the flooder failed"
read -r delivered_after dropped_after < <(corvane_udp_counters "$CORVANE_NS_PC")
wait "$app_pid"
status=$?
app_pid=""
echo "flood: $((delivered_after - delivered_before)) datagrams queued for the window, $((dropped_after - dropped_before)) dropped by the system (receive buffer full)"
tr -d '\r' <"$work/bench.log"
echo "corvane-scan.exe right after: $(in_pc --within 60 "$WINELOADER" "$win_build/discovery/corvane-scan.exe" | tr -d '\r' | grep -c .) devices"
exit $status
