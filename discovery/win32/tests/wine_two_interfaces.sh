#!/usr/bin/env bash
# Corvane.exe under Wine on a "pc" with two interfaces: three devices behind pc1 (the
# default route), four behind pc2 and, on pc2's LAN, one more in a foreign subnet
# that answers by broadcast. Every device must be listed, each LAN must see one probe
# per scan from its own interface, and an address change of a device behind pc2 must
# leave by pc2 and show in the rescan; once pc2 has lost its address, a change of a
# device behind it must go out nowhere. All namespaces are made here and removed on
# the way out; Wine gets a prefix of its own whose wineserver (which owns the
# program's sockets) runs inside the "pc" namespace.
# usage: wine_two_interfaces.sh CORVANE-EXE WINDOW-READER-EXE CORVANE-DEVSIM
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the Wine two-interface test needs root to create its network namespaces"
source "$(dirname "$0")/../../../scripts/wine-env.sh"
[ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
for tool in wineserver Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
corvane_exe="$1"
reader_exe="$2"
devsim="$3"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

work="$(mktemp -d)"
prefix="$work/wineprefix"
source "$(dirname "$0")/wine_gui.sh"
trap wine_gui_cleanup EXIT
script_deadline 200   # inside ctest's TIMEOUT of 240 s, so the clean-up always runs
FAIL_LOG_LINES=20

line() {   # the 56-character line of a device: address, mask, MAC, ID
    printf '%-15s %-15s %-17s %6s' "$1" "$2" "$3" "$4"
}

# --- the two LANs, the screen, the window manager ---
corvane_netns_create_two_lans "wine2-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate_two_lans "$devsim" "$work" || fail "the simulator $CORVANE_SIM_FAILED did not start"

start_screen

# --- Wine: a prefix of this run's own, its server inside "pc" ---
start_wine_in_pc

# --- the first scan lists the devices behind both interfaces ---
start_corvane
wait_for_state '^count 8$' && wait_for_state '^selected 0$' || fail "the first scan did not list 8 devices"
expected="$(
    for i in 0 1 2; do line "$CORVANE_NET1.$((100 + i))" 255.255.255.0 "02-C0-4E-00-00-0$i" $((i + 1)); echo; done
    for i in 0 1 2 3; do line "$CORVANE_NET2.$((100 + i))" 255.255.255.0 "02-C0-4E-02-00-0$i" $((21 + i)); echo; done
    line "$CORVANE_FAR_NET.5" 255.255.0.0 02-C0-4E-77-00-05 77
)"
[ "$(reader state | sed -n 's/^line [0-9]* //p')" = "$expected" ] || fail "the list is not the eight devices in order"
grep -q "^probe 1: 3 devices answer from $CORVANE_NET1.1:[0-9]* to 255.255.255.255$" "$work/lan1.log" ||
    fail "no probe out of pc1"
grep -q "^probe 1: 4 devices answer from $CORVANE_NET2.1:[0-9]* to 255.255.255.255$" "$work/lan2.log" ||
    fail "no probe out of pc2"
[ "$(grep -c '^probe ' "$work/lan1.log")" -eq 1 ] || fail "the first LAN saw more than one probe"

# --- a change of a device behind pc2 leaves by pc2, and the rescan shows it ---
xdo windowactivate --sync "$main_window" key Down Down Down Down
wait_for_state '^selected 4$' || fail "Down did not reach the fifth line"
xdo key Return
dialog_window="$(wait_for_window '^Set IP Address$')"
[ -n "$dialog_window" ] || fail "Enter did not open \"Set IP Address\""
[ "$(reader dialog)" = "$(printf 'address %s\nmask 255.255.255.0' "$CORVANE_NET2.101")" ] ||
    fail "the address dialog does not show the selected device's values"
xdo windowactivate --sync "$dialog_window" key Home shift+End type "$CORVANE_NET2.150"
xdo key Return
corvane_wait_for_line "$work/lan2.log" \
    "^set-ip 02-C0-4E-02-00-01 $CORVANE_NET2.101 -> $CORVANE_NET2.150 from $CORVANE_NET2.1:[0-9]* to 255.255.255.255$" ||
    fail "the address change did not reach the second LAN from pc2"
corvane_wait_for_line "$work/lan2.log" "^probe 2: " 15 || fail "no rescan after the change"
wait_for_state "^line [0-9]* $(line "$CORVANE_NET2.150" 255.255.255.0 02-C0-4E-02-00-01 22)\$" 10 ||
    fail "the rescan did not list the new address"
wait_for_state '^count 8$' || fail "the rescan did not list 8 devices"
grep -q '^set-' "$work/lan1.log" && fail "the address change went out of pc1"

# --- pc2 loses its address: a change of a device listed behind it goes out nowhere ---
ip -n "$CORVANE_NS_PC" addr flush dev pc2 || fail "cannot take pc2's address away"
wait_for_state '^selected 0$' || fail "the rescan selected no line"
xdo windowactivate --sync "$main_window" key Down Down Down Down Down Down
wait_for_state '^selected 6$' &&
    [ "$(reader state | sed -n 's/^line [0-9]* //p' | sed -n 7p)" = "$(line "$CORVANE_NET2.150" 255.255.255.0 02-C0-4E-02-00-01 22)" ] ||
    fail "Down did not reach the moved device"
xdo key Return
dialog_window="$(wait_for_window '^Set IP Address$')"
[ -n "$dialog_window" ] || fail "Enter did not open \"Set IP Address\""
xdo windowactivate --sync "$dialog_window" key Home shift+End type "$CORVANE_NET2.160"
xdo key Return
# The rescan follows the change; a change sent at all would have come before it.
corvane_wait_for_line "$work/lan1.log" "^probe 3: " 15 || fail "no rescan after the second change"
wait_for_state '^count 3$' || fail "the rescan without pc2 did not list pc1's 3 devices"
grep -q '^set-' "$work/lan1.log" && fail "the change went out of pc1 when pc2 had lost its address"
grep -q -- "-> $CORVANE_NET2.160 " "$work/lan2.log" && fail "the change went out of pc2 after it lost its address"

xdo windowactivate --sync "$main_window" key alt+F4
wait_for_exit || fail "Alt+F4 did not end the program"
echo "PASSED: Corvane.exe listed the devices behind both interfaces and changed one behind the second"
