#!/usr/bin/env bash
# End to end over a real limited broadcast: corvane-devsim plays three devices in a
# "lan" namespace, the real main window with the real socket runs in a "pc"
# namespace, both made here and removed on the way out.
# usage: end_to_end.sh CORVANE-DEVSIM END-TO-END-DRIVER
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: the end-to-end test needs root to create its network namespaces"
    exit 77
fi
devsim="$1"
driver="$2"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

work="$(mktemp -d)"
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    corvane_netns_delete
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*"
    echo "--- simulator log ---"
    cat "$work/devsim.log"
    exit 1
}

corvane_netns_create "e2e-$$-$RANDOM" || fail "cannot create the namespaces"
ip netns exec "$CORVANE_NS_LAN" "$devsim" --devices 3 --first-address "$CORVANE_NET.100" >"$work/devsim.log" 2>&1 &
sim_pid=$!
corvane_wait_for_line "$work/devsim.log" "^listening on 0.0.0.0 port 36 " || fail "the simulator did not start"

# Bounded well inside ctest's limit: a test killed from outside would leave the
# namespaces and the simulator behind.
timeout -k 5 80 ip netns exec "$CORVANE_NS_PC" env QT_QPA_PLATFORM=offscreen CORVANE_E2E_NET="$CORVANE_NET" "$driver" ||
    fail "the driver failed"

grep -q "^probe 1: 3 devices answer from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" "$work/devsim.log" ||
    fail "no limited broadcast probe from the pc namespace"
grep -q "^set-ip 02-C0-4E-00-00-01 $CORVANE_NET.101 -> $CORVANE_NET.150 from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" \
    "$work/devsim.log" || fail "the address change did not reach the simulator as a broadcast"
grep -q "^set-mask 02-C0-4E-00-00-01 255.255.255.0 -> 255.255.0.0 (address $CORVANE_NET.150)" "$work/devsim.log" ||
    fail "the mask change did not reach the simulator"
grep -q "^probe 2: " "$work/devsim.log" || fail "no rescan after the change"
echo "PASSED: listed 3 devices, changed one, and the rescan listed its new address"
