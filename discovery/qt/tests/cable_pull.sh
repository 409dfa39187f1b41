#!/usr/bin/env bash
# The cable pull, end to end: the real main window in a "pc" namespace with three
# simulated devices behind its one interface. The pc side loses its address while its
# link and a default route through it stay up; three F5 presses find nothing and no
# probe reaches the LAN; with the address back, one F5 lists the three again, without
# a restart. The namespaces are made
# here and removed on the way out.
# usage: cable_pull.sh CORVANE-DEVSIM END-TO-END-DRIVER
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the cable-pull test needs root to create its network namespaces"
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

corvane_netns_create "pull-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the simulator did not start"
read -r lan_udp_before _ < <(corvane_udp_counters "$CORVANE_NS_LAN")
timeout -k 5 80 ip netns exec "$CORVANE_NS_PC" env QT_QPA_PLATFORM=offscreen \
    CORVANE_E2E_PC_ADDRESS="$CORVANE_PC_ADDRESS" CORVANE_E2E_DEVSIM_LOG="$work/devsim.log" \
    "$driver" --gtest_filter="EndToEnd.ACablePulledAndPluggedBackWithoutARestart" || fail "the driver failed"
read -r lan_udp_after _ < <(corvane_udp_counters "$CORVANE_NS_LAN")

# The LAN side saw the two probes and nothing else: not one datagram while the cable was out.
[ "$(grep -c "^probe [0-9]*: 3 devices answer from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" "$work/devsim.log")" -eq 2 ] ||
    fail "not exactly one probe before the pull and one after: $(grep '^probe' "$work/devsim.log")"
[ $((lan_udp_after - lan_udp_before)) -eq 2 ] ||
    fail "the LAN namespace took $((lan_udp_after - lan_udp_before)) datagrams, not the two probes"
echo "PASSED: no probe while the cable was out, the three devices listed again at the first F5 after it"
