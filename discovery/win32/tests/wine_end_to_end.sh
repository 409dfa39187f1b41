#!/usr/bin/env bash
# Corvane.exe under Wine, driven from keyboard and mouse as an operator would, against
# corvane-devsim playing three devices. Both run in network namespaces made here
# ("pc" and "lan", joined by a veth pair) and removed on the way out.
#
# Wine keeps a program's sockets in its wineserver, so the wineserver must run in
# the "pc" namespace: this run gets a prefix of its own, starts that prefix's
# wineserver inside the namespace, checks that it is there before Corvane starts,
# and stops it at the end.
# The web page is opened by running "explorer": a recorder of that name placed
# beside Corvane.exe is found first and notes what it was given.
# usage: wine_end_to_end.sh CORVANE-EXE WINDOW-READER-EXE EXPLORER-RECORDER-EXE CORVANE-DEVSIM
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the Wine end-to-end test needs root to create its network namespaces"
source "$(dirname "$0")/../../../scripts/wine-env.sh"
[ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
for tool in wineserver Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
reader_exe="$2"
devsim="$4"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"

started=$SECONDS
work="$(mktemp -d)"
prefix="$work/wineprefix"
corvane_exe="$work/app/Corvane.exe"
opened="$work/app/explorer.log"
source "$(dirname "$0")/wine_gui.sh"
trap wine_gui_cleanup EXIT
script_deadline 200   # inside ctest's TIMEOUT of 240 s, so the clean-up always runs
mkdir -p "$work/app"
cp "$1" "$corvane_exe" && cp "$3" "$work/app/explorer.exe" || fail "cannot copy the programs"

has_lines() { [ -f "$2" ] && [ "$(grep -c -- "$3" "$2")" -ge "$1" ]; }
wait_for_count() { wait_until has_lines "$1" "$work/devsim.log" "$2"; }   # $1 lines matching $2 in the devsim log
wait_for_opened() { wait_until has_lines "$1" "$opened" '^'; }            # $1 command lines noted by the recorder
window_gone() { ! reader "$1" >/dev/null; }
probes() { grep -c '^probe ' "$work/devsim.log"; }

# --- the private LAN, the screen, the window manager ---
corvane_netns_create "wine-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" \
    --log-bytes || fail "the simulator did not start"

start_screen

# --- Wine: a prefix of this run's own, its server inside "pc" ---
start_wine_in_pc
echo "Wine prefix ready after $((SECONDS - started)) s"

# --- first scan: the probe on the wire, three sorted lines, the count ---
start_corvane
corvane_wait_for_line "$work/devsim.log" \
    "^probe 1: 3 devices answer from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" ||
    fail "no limited broadcast probe from the pc namespace"
grep -A1 -m1 '^probe 1: ' "$work/devsim.log" | grep -qx "bytes 43 21 30 39$(printf ' 00%.0s' {1..16})" ||
    fail "the probe's bytes are wrong"
wait_for_state '^selected 0$' || fail "the first line was not selected when the scan window closed"
line() {   # the 56-character line of generated device $1 (0, 1, 2) at address .$2 with mask $3
    printf '%-15s %-15s %-17s %6s' "$CORVANE_NET.$2" "$3" "02-C0-4E-00-00-0$1" "$(($1 + 1))"
}
expected="$(printf 'count 3\nselected 0\n'; printf 'line %s %s\n' 0 "$(line 0 100 255.255.255.0)" 1 "$(line 1 101 255.255.255.0)" \
    2 "$(line 2 102 255.255.255.0)")"
[ "$(reader state)" = "$expected" ] || fail "the list is not the three devices in order"

# --- the web page: Alt+Enter and Config, Device Settings for the selected line, a double-click for another ---
xdo windowactivate --sync "$main_window" key alt+Return
wait_for_opened 1 || fail "Alt+Enter did not open the web page"
# The keys after it are the window's again (no menu left waiting for them): Enter
# opens the address dialog, and Esc there closes it without sending anything.
xdo key Return
dialog_window="$(wait_for_window '^Set IP Address$')"
[ -n "$dialog_window" ] || fail "Enter after Alt+Enter did not open \"Set IP Address\""
xdo windowactivate --sync "$dialog_window" key Escape
wait_until window_gone dialog || fail "Esc did not close \"Set IP Address\""
# Enter on a focused Cancel cancels too, with an edited address (the fields, OK,
# then Cancel in tab order); a set command for it would show further down.
xdo windowactivate --sync "$main_window" key Return
dialog_window="$(wait_for_window '^Set IP Address$')"
[ -n "$dialog_window" ] || fail "Enter did not open \"Set IP Address\" again"
xdo windowactivate --sync "$dialog_window" key Home shift+End type "$CORVANE_NET.160"
xdo key Tab Tab Tab Return
wait_until window_gone dialog || fail "Enter on Cancel did not close \"Set IP Address\""
xdo key alt+c
xdo key d
wait_for_opened 2 || fail "Config, Device Settings did not open the web page"
read -r _ x y <<<"$(reader item 2)"
[ -n "${y:-}" ] || fail "cannot find the third line on the screen"
xdo mousemove "$x" "$y" click 1
wait_for_state '^selected 2$' || fail "a click did not select the third line"
xdo click --repeat 2 --delay 50 1
wait_for_opened 3 || fail "a double-click did not open the web page"
[ "$(tr -d '\r' <"$opened")" = "$(printf 'explorer http://%s\n' "$CORVANE_NET.100" "$CORVANE_NET.100" "$CORVANE_NET.102")" ] ||
    fail "the web page command lines are wrong: $(cat "$opened")"

# --- F5 scans, and F5 after its scan window scans again ---
# (F5 inside a scan window is owned by the Qt window's test, which presses it
# twice within one window for certain.)
# A click on the first line first: the started "explorer" may have taken the focus.
read -r _ x y <<<"$(reader item 0)"
xdo windowactivate --sync "$main_window" mousemove "$x" "$y" click 1
wait_for_state '^selected 0$' || fail "a click did not select the first line"
xdo key F5
wait_for_count 2 '^probe ' || fail "F5 did not scan"
wait_for_state '^selected 0$' || fail "the F5 scan did not close its window"
xdo key F5
wait_for_count 3 '^probe ' || fail "F5 after the scan window did not scan"
wait_for_state '^count 3$' && wait_for_state '^selected 0$' || fail "the third scan did not list the devices"

# --- Esc leaves the window open ---
xdo key Escape
xdo key F5
wait_for_count 4 '^probe ' || fail "the window did not answer F5 after Esc"
wait_for_state '^selected 0$' || fail "the scan after Esc did not close its window"

# --- an invalid address: the message, and nothing sent ---
xdo key Down
wait_for_state '^selected 1$' || fail "Down did not select the second line"
xdo key Return
dialog_window="$(wait_for_window '^Set IP Address$')"
[ -n "$dialog_window" ] || fail "Enter did not open \"Set IP Address\""
[ "$(reader dialog)" = "$(printf 'address %s\nmask 255.255.255.0' "$CORVANE_NET.101")" ] ||
    fail "the address dialog does not show the selected device's values"
xdo windowactivate --sync "$dialog_window" key Home shift+End type "$CORVANE_NET.255"
xdo key Return
wait_until eval '[ "$(reader message)" = "message Invalid IP address" ]' || fail "no \"Invalid IP address\" message"
xdo key Return
wait_until window_gone message || fail "the message did not close"
# Datagrams reach the simulator in order: a probe after the attempt shows nothing went before it.
xdo windowactivate --sync "$main_window" key F5
wait_for_count 5 '^probe ' || fail "no scan after the refused address"
grep -q '^set-' "$work/devsim.log" && fail "a set command went out for a cancelled or an invalid address"
wait_for_state '^selected 0$' || fail "the scan after the refused address did not close its window"

# --- a valid change: the set-IP datagram, then the rescan lists the new address ---
xdo key Down
wait_for_state '^selected 1$' || fail "Down did not select the second line"
xdo key Return
dialog_window="$(wait_for_window '^Set IP Address$')"
[ -n "$dialog_window" ] || fail "Enter did not open \"Set IP Address\" again"
xdo windowactivate --sync "$dialog_window" key Home shift+End type "$CORVANE_NET.150"
xdo key Return
corvane_wait_for_line "$work/devsim.log" \
    "^set-ip 02-C0-4E-00-00-01 $CORVANE_NET.101 -> $CORVANE_NET.150 from $CORVANE_PC_ADDRESS:[0-9]* to 255.255.255.255$" ||
    fail "the address change did not reach the simulator as a broadcast"
grep -A1 '^set-ip ' "$work/devsim.log" | grep -qx 'bytes 43 21 30 3A 0A E7 00 96 00 00 00 00 02 C0 4E 00 00 01 00 00' ||
    fail "the set-IP datagram's bytes are wrong"
grep -q '^set-mask ' "$work/devsim.log" && fail "a set-mask datagram went out for an unchanged mask"
wait_for_count 6 '^probe ' || fail "no rescan after the change"
wait_for_state "^line 1 $(line 1 150 255.255.255.0)\$" || fail "the rescan did not list the new address"
expected="$(printf 'count 3\nselected 0\n'; printf 'line %s %s\n' 0 "$(line 0 100 255.255.255.0)" 2 "$(line 2 102 255.255.255.0)" \
    1 "$(line 1 150 255.255.255.0)")"
wait_for_state '^selected 0$' && [ "$(reader state)" = "$expected" ] || fail "the rescan's list is not sorted"

# --- Alt+F4 ends the program ---
xdo windowactivate --sync "$main_window" key alt+F4
wait_for_exit || fail "Alt+F4 did not end the program"

# --- View, Exit ends it too ---
start_corvane
wait_for_state '^selected 0$' || fail "the second run did not list the devices"
xdo windowactivate --sync "$main_window" key alt+v
xdo key x
wait_for_exit || fail "View, Exit did not end the program"

# Every probe reached the simulator before the last run's: a scan too many
# anywhere would show here.
[ "$(probes)" -eq 7 ] || fail "$(probes) probes instead of 7"
[ "$(grep -c '^set-' "$work/devsim.log")" -eq 1 ] || fail "more than the one set command went out"

echo "PASSED: probe bytes, sorted lines and count, the web page three ways, Esc and Cancel in the address dialog," \
     "F5 and its scan window, Esc, a refused and an accepted address change with its rescan, Alt+F4 and" \
     "View, Exit; $((SECONDS - started)) s"
