#!/usr/bin/env bash
# corvane-scan and the cable pull, in network namespaces made here and removed on the
# way out: three simulated devices behind the pc's one interface are listed; with the
# pc side's address gone but its link and a default route through it still up (a lost
# lease), and then with the link down too, the scan exits 2 with its reason and the
# simulator sees no probe; with the address back the three are listed again.
# With a third argument the scanner is a Windows program, run by the Wine loader that
# WINELOADER names, with a private prefix whose wineserver runs inside the "pc" namespace.
# usage: scan_cable_pull.sh CORVANE-SCAN CORVANE-DEVSIM [--wine]
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the cable-pull test needs root to create its network namespaces"
scan="$1"
devsim="$2"
wine_mode="${3:-}"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"
source "$(dirname "$0")/../../../scripts/wine-env.sh"

work="$(mktemp -d)"
wine_in=""
cleanup() {
    [ -n "$wine_in" ] && timeout -k 5 30 ip netns exec "$wine_in" wineserver -k 2>/dev/null
    wine_in=""
    corvane_stop_simulators
    corvane_netns_delete
}
trap 'cleanup; rm -rf "$work"' EXIT
if [ "$wine_mode" = "--wine" ]; then script_deadline 200; else script_deadline 100; fi

corvane_netns_create "scanpull-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the simulator did not start"
if [ "$wine_mode" = "--wine" ]; then
    [ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
    timeout -k 5 30 ip netns exec "$CORVANE_NS_PC" wineserver -p || fail "cannot start a wineserver"
    wine_in="$CORVANE_NS_PC"
    timeout -k 5 120 ip netns exec "$CORVANE_NS_PC" "$WINELOADER" wineboot -i >/dev/null 2>&1 ||
        fail "cannot make the Wine prefix"
    wine_env_servers_only_in "$CORVANE_NS_PC" "$WINEPREFIX" || fail "a wineserver of this prefix runs outside the namespace"
fi

# The scanner's exit status; a Windows program's line ends made Unix ones.
scan_in_pc() {
    if [ "$wine_mode" = "--wine" ]; then
        timeout -k 5 60 ip netns exec "$CORVANE_NS_PC" env LC_ALL=C.UTF-8 "$WINELOADER" "$scan" "$@" | tr -d '\r'
        return "${PIPESTATUS[0]}"
    fi
    timeout -k 5 30 ip netns exec "$CORVANE_NS_PC" "$scan" "$@"
}
probes() { grep -c "^probe [0-9]*:" "$work/devsim.log"; }

scan_in_pc >"$work/before.txt" 2>"$work/err.txt"
status=$?
[ "$status" -eq 0 ] && [ "$(wc -l <"$work/before.txt")" -eq 3 ] || fail "before the pull: status $status, $(cat "$work/err.txt")"

# Scans with the cable out: each ends with 2 and its reason, and nothing reaches the LAN.
scans_while_out() {
    local run
    read -r lan_udp_before _ < <(corvane_udp_counters "$CORVANE_NS_LAN")
    for run in "$@"; do
        scan_in_pc >"$work/out.txt" 2>"$work/err.txt"
        status=$?
        [ "$status" -eq 2 ] || fail "scan $run ended with $status, not 2"
        [ -s "$work/out.txt" ] && fail "scan $run printed: $(cat "$work/out.txt")"
        tr -d '\r' <"$work/err.txt" | grep -q "^corvane-scan: no usable network interface" ||
            fail "scan $run gave no clear reason: $(cat "$work/err.txt")"
    done
    read -r lan_udp_after _ < <(corvane_udp_counters "$CORVANE_NS_LAN")
    [ "$lan_udp_after" -eq "$lan_udp_before" ] || fail "a datagram reached the LAN while the cable was out"
    [ "$(probes)" -eq 1 ] || fail "the simulator saw a probe while the address was gone"
}

# The address is gone, the link and a default route through it stay: a probe sent by
# the routing table would still leave by this link.
ip -n "$CORVANE_NS_PC" addr flush dev pc && ip -n "$CORVANE_NS_PC" route replace default dev pc ||
    fail "cannot take the address away"
ip -n "$CORVANE_NS_PC" route show default | grep -q "dev pc" || fail "the default route went with the address"
ip -n "$CORVANE_NS_PC" link show pc | grep -q "state UP" || fail "the link went down with the address"
scans_while_out "1 (address gone)" "2 (address gone)" "3 (address gone)"
# The link down as well: the interface is no longer in the list of usable ones.
ip -n "$CORVANE_NS_PC" link set pc down || fail "cannot set the link down"
scans_while_out "4 (link down)"

ip -n "$CORVANE_NS_PC" link set pc up && ip -n "$CORVANE_NS_PC" addr add "$CORVANE_PC_ADDRESS/24" dev pc &&
    ip -n "$CORVANE_NS_PC" route replace default dev pc || fail "cannot plug the cable back"
scan_in_pc >"$work/after.txt" 2>"$work/err.txt"
status=$?
[ "$status" -eq 0 ] || fail "after the cable is back: status $status, $(cat "$work/err.txt")"
cmp -s "$work/before.txt" "$work/after.txt" || fail "not the same three devices: $(cat "$work/after.txt")"
[ "$(probes)" -eq 2 ] || fail "$(probes) probes at the LAN, not one per successful scan"
echo "PASSED: status 2 and its reason with the address gone (link and default route up) and with the link down, no probe on the LAN, the three listed once the address is back"
