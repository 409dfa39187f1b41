#!/usr/bin/env bash
# End to end over real limited broadcasts: the real main window with the real socket
# runs in a "pc" namespace, corvane-devsim plays the devices in "lan" namespaces, all
# made here and removed on the way out.
#  1. One interface: three devices listed, one changed, the rescan shows it.
#  2. Two interfaces: devices behind both listed (one in a foreign subnet answering
#     by broadcast); changes to two devices behind the second interface leave by it
#     and the rescan shows them; once the second interface has lost its address, a
#     change of a device behind it goes out nowhere.
# usage: end_to_end.sh CORVANE-DEVSIM END-TO-END-DRIVER
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the end-to-end test needs root to create its network namespaces"
devsim="$1"
driver="$2"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

work="$(mktemp -d)"
cleanup() {
    corvane_stop_simulators
    corvane_netns_delete
}
trap 'cleanup; rm -rf "$work"' EXIT
script_deadline 100   # inside ctest's TIMEOUT of 120 s, so the clean-up always runs

# simulate NAMESPACE LOG DEVSIM-OPTIONS...
simulate() {
    corvane_simulate "$devsim" "$1" "$work/$2.log" "${@:3}" || fail "the simulator $2 did not start"
}

# Bounded, so that a hanging window fails the test with its logs.
drive() {
    local test="$1"
    shift
    timeout -k 5 80 ip netns exec "$CORVANE_NS_PC" env QT_QPA_PLATFORM=offscreen "$@" "$driver" \
        --gtest_filter="EndToEnd.$test" || fail "the driver failed"
}

echo "== one interface =="
corvane_netns_create "e2e-$$-$RANDOM" || fail "cannot create the namespaces"
simulate "$CORVANE_NS_LAN" devsim --devices 3 --first-address "$CORVANE_NET.100"
drive ListsTheDevicesChangesOneAndTheRescanShowsIt CORVANE_E2E_NET="$CORVANE_NET"

grep -q "^probe 1: 3 devices answer from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" "$work/devsim.log" ||
    fail "no limited broadcast probe from the pc namespace"
grep -q "^set-ip 02-C0-4E-00-00-01 $CORVANE_NET.101 -> $CORVANE_NET.150 from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" \
    "$work/devsim.log" || fail "the address change did not reach the simulator as a broadcast"
grep -q "^set-mask 02-C0-4E-00-00-01 255.255.255.0 -> 255.255.0.0 (address $CORVANE_NET.150)" "$work/devsim.log" ||
    fail "the mask change did not reach the simulator"
grep -q "^probe 2: " "$work/devsim.log" || fail "no rescan after the change"
cleanup
rm -f "$work"/*.log

echo "== two interfaces =="
corvane_netns_create_two_lans "e2e2-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate_two_lans "$devsim" "$work" || fail "the simulator $CORVANE_SIM_FAILED did not start"
drive TwoInterfacesListEveryDeviceAndAChangeLeavesWhereTheDeviceAnswered \
    CORVANE_E2E_NET1="$CORVANE_NET1" CORVANE_E2E_NET2="$CORVANE_NET2" CORVANE_E2E_FAR_NET="$CORVANE_FAR_NET"

# Every scan sent one probe out of each interface, from that interface's address; the
# scans after pc2 lost its address went out of pc1 alone.
probes1=$(grep -c "^probe [0-9]*: 3 devices answer from $CORVANE_NET1.1:[0-9]* to 255.255.255.255$" "$work/lan1.log")
probes2=$(grep -c "^probe [0-9]*: 4 devices answer from $CORVANE_NET2.1:[0-9]* to 255.255.255.255$" "$work/lan2.log")
[ "$probes2" -ge 2 ] && [ "$probes1" -gt "$probes2" ] &&
    [ "$(grep -c "^probe " "$work/lan1.log")" -eq "$probes1" ] &&
    [ "$(grep -c "^probe " "$work/lan2.log")" -eq "$probes2" ] || fail "not one probe per interface and scan"
grep -q "^set-ip 02-C0-4E-02-00-01 $CORVANE_NET2.101 -> $CORVANE_NET2.150 from $CORVANE_NET2.1:[0-9]* to 255.255.255.255$" \
    "$work/lan2.log" || fail "the address change did not reach the second LAN from pc2"
grep -q "^set-ip 02-C0-4E-77-00-05 $CORVANE_FAR_NET.5 -> $CORVANE_NET2.77 from $CORVANE_NET2.1:" "$work/far.log" ||
    fail "the foreign-subnet device's change did not reach it from pc2"
grep -q "^set-mask 02-C0-4E-77-00-05 255.255.0.0 -> 255.255.255.0" "$work/far.log" ||
    fail "the foreign-subnet device's mask change did not reach it"
grep -q "^set-" "$work/lan1.log" && fail "an address change went out of pc1"
grep -q -- "-> $CORVANE_NET2.160 " "$work/lan2.log" && fail "a change went out of pc2 after it lost its address"
echo "PASSED: one and two interfaces: every device listed, the changes reached their devices, the rescans show them"
