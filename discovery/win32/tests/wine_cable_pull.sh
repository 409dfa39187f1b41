#!/usr/bin/env bash
# Corvane.exe under Wine and the cable pull: three simulated devices behind the pc's
# one interface are listed; the pc side's address is flushed while its link and a
# default route through it stay up (a lost lease); three F5 presses leave the program
# running, the list empty and the LAN without a single datagram; with the address
# back, F5 lists the three again without a restart. In network namespaces made here and removed on the way out, the run's own
# wineserver inside "pc" (see wine_gui.sh).
# usage: wine_cable_pull.sh CORVANE-EXE WINDOW-READER-EXE CORVANE-DEVSIM
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the Wine cable-pull test needs root to create its network namespaces"
source "$(dirname "$0")/../../../scripts/wine-env.sh"
[ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
for tool in wineserver Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
reader_exe="$2"
devsim="$3"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

work="$(mktemp -d)"
prefix="$work/wineprefix"
corvane_exe="$work/app/Corvane.exe"
source "$(dirname "$0")/wine_gui.sh"
trap wine_gui_cleanup EXIT
script_deadline 200   # inside ctest's TIMEOUT of 240 s, so the clean-up always runs
mkdir -p "$work/app"
cp "$1" "$corvane_exe" || fail "cannot copy the program"
probes() { grep -c '^probe ' "$work/devsim.log"; }
lan_datagrams() { corvane_udp_counters "$CORVANE_NS_LAN" | cut -d' ' -f1; }

corvane_netns_create "winepull-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the simulator did not start"
start_screen
start_wine_in_pc
start_corvane
wait_for_state '^count 3$' && wait_for_state '^selected 0$' || fail "the first scan did not list the three devices"
[ "$(probes)" -eq 1 ] || fail "$(probes) probes for the first scan"

# The route goes with the last address; put back, a probe sent by the routing table would leave by pc.
ip -n "$CORVANE_NS_PC" addr flush dev pc && ip -n "$CORVANE_NS_PC" route replace default dev pc ||
    fail "cannot take the address away"
before=$(lan_datagrams)
for press in 1 2 3; do
    xdo windowactivate --sync "$main_window" key F5
    wait_for_state '^count 0$' || fail "F5 $press with the cable out did not empty the list"
done
running || fail "the program ended with the cable out"
[ "$(reader state)" = "$(printf 'count 0\nselected -1')" ] || fail "the list is not empty: $(reader state)"
# Every datagram the presses handed to the system would be in the LAN's counter by now.
[ "$(lan_datagrams)" -eq "$before" ] || fail "a datagram reached the LAN while the cable was out"
[ "$(probes)" -eq 1 ] || fail "the simulator saw a probe while the address was gone"

ip -n "$CORVANE_NS_PC" addr add "$CORVANE_PC_ADDRESS/24" dev pc &&
    ip -n "$CORVANE_NS_PC" route replace default dev pc || fail "cannot put the address back"
xdo windowactivate --sync "$main_window" key F5
wait_for_state '^count 3$' && wait_for_state '^selected 0$' ||
    fail "F5 after the cable came back did not list the three devices: $(reader state)"
corvane_wait_for_line "$work/devsim.log" "^probe 2: 3 devices answer from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" ||
    fail "the probe after the cable came back did not leave by the pc's interface"
running || fail "the program ended"
echo "PASSED: nothing sent with the address gone (link and default route up), the three devices listed again at F5 once it was back"
