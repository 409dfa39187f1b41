#!/usr/bin/env bash
# corvane-set over real limited broadcasts, in network namespaces made here and
# removed on the way out: a "pc" with two interfaces, each with a LAN of simulated
# devices, and on both LANs a device with one and the same MAC address; on the second
# a batch of five at one address, to be renumbered.
# What each simulator received is read from its log: a set command must reach only
# the LAN of its device, and nothing at all when the input is refused.
# With a third argument corvane-set is a Windows program, run by the Wine loader that
# WINELOADER names, with a private prefix whose wineserver runs inside the "pc" namespace.
# usage: set_in_namespaces.sh CORVANE-SET CORVANE-DEVSIM [--wine]
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the corvane-set test needs root to create its network namespaces"
set_tool="$1"
devsim="$2"
wine_mode="${3:-}"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"
source "$(dirname "$0")/../../../scripts/wine-env.sh"

work="$(mktemp -d)"
wine_in=""
if [ "$wine_mode" = "--wine" ]; then
    [ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
fi
cleanup() {
    [ -n "$wine_in" ] && timeout -k 5 30 ip netns exec "$wine_in" wineserver -k 2>/dev/null
    wine_in=""
    corvane_stop_simulators
    corvane_netns_delete
}
trap 'cleanup; rm -rf "$work"' EXIT
if [ "$wine_mode" = "--wine" ]; then script_deadline 200; else script_deadline 100; fi

corvane_netns_create_two_lans "set-$$-$RANDOM" || fail "cannot create the namespaces"
twin=02-C0-4E-0A-0A-0A
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/lan1.log" --devices 3 --first-address "$CORVANE_NET1.100" \
    --device "$CORVANE_NET1.120,255.255.255.0,$twin,90" || fail "the simulator lan1 did not start"
lan2_devices=()
for i in 0 1 2 3; do
    lan2_devices+=(--device "$CORVANE_NET2.$((100 + i)),255.255.255.0,02-C0-4E-02-00-0$i,$((21 + i))")
done
# A batch shipped at one address, and a device already at the first address of its new range.
batch=(02-C0-4E-0B-00-01 02-C0-4E-0B-00-02 02-C0-4E-0B-00-03 02-C0-4E-0B-00-04 02-C0-4E-0B-00-05)
for mac in 05 03 01 04 02; do
    lan2_devices+=(--device "$CORVANE_NET2.200,255.255.255.0,02-C0-4E-0B-00-$mac,3$mac")
done
in_the_way=02-C0-4E-0B-00-20
lan2_devices+=(--device "$CORVANE_NET2.20,255.255.255.0,$in_the_way,40")
corvane_simulate "$devsim" "$CORVANE_NS_LAN2" "$work/lan2.log" "${lan2_devices[@]}" \
    --device "$CORVANE_NET2.120,255.255.255.0,$twin,91" || fail "the simulator lan2 did not start"
if [ "$wine_mode" = "--wine" ]; then
    timeout -k 5 30 ip netns exec "$CORVANE_NS_PC" wineserver -p || fail "cannot start a wineserver"
    wine_in="$CORVANE_NS_PC"
    timeout -k 5 120 ip netns exec "$CORVANE_NS_PC" "$WINELOADER" wineboot -i >/dev/null 2>&1 ||
        fail "cannot make the Wine prefix"
    wine_env_servers_only_in "$CORVANE_NS_PC" "$WINEPREFIX" ||
        fail "no wineserver of this prefix runs in $CORVANE_NS_PC, or one runs outside it"
fi

# set_in ARGS...: corvane-set in "pc", its output in $work/out.txt and err.txt, its status in $status.
set_in() {
    if [ "$wine_mode" = "--wine" ]; then
        timeout -k 5 60 ip netns exec "$CORVANE_NS_PC" env LC_ALL=C.UTF-8 "$WINELOADER" "$set_tool" "$@" \
            <"${stdin_file:-/dev/null}" >"$work/out.raw" 2>"$work/err.raw"
    else
        timeout -k 5 30 ip netns exec "$CORVANE_NS_PC" "$set_tool" "$@" \
            <"${stdin_file:-/dev/null}" >"$work/out.raw" 2>"$work/err.raw"
    fi
    status=$?
    tr -d '\r' <"$work/out.raw" >"$work/out.txt"
    tr -d '\r' <"$work/err.raw" >"$work/err.txt"
}
# Lines of a simulator's log that start so, e.g. "set-" or "probe ".
count() {
    grep -c "^$2" "$work/$1.log"
}
# All set commands and probes the simulators have seen, to show that a run sent nothing.
seen() {
    echo "$(count lan1 set-) $(count lan2 set-) $(count lan1 probe) $(count lan2 probe)"
}
expect() {
    [ "$status" -eq "$1" ] || fail "$2: status $status, not $1; out: $(cat "$work/out.txt") err: $(cat "$work/err.txt")"
}

echo "== --dry-run: the devices found, what would go out shown, nothing sent =="
set_in --dry-run 02-C0-4E-00-00-00 "$CORVANE_NET1.50"
expect 0 "--dry-run"
grep -qx "02-C0-4E-00-00-00 $CORVANE_NET1.100 255.255.255.0 -> $CORVANE_NET1.50 255.255.255.0 would send on pc1 (set-ip)" \
    "$work/out.txt" || fail "--dry-run printed: $(cat "$work/out.txt")"
[ "$(count lan1 set-) $(count lan2 set-)" = "0 0" ] || fail "--dry-run sent a set command"

echo "== one change, confirmed, out of the device's own interface only =="
set_in 02-C0-4E-00-00-00 "$CORVANE_NET1.50"
expect 0 "one change"
grep -qx "02-C0-4E-00-00-00 $CORVANE_NET1.100 255.255.255.0 -> $CORVANE_NET1.50 255.255.255.0 confirmed on pc1 (set-ip)" \
    "$work/out.txt" || fail "one change printed: $(cat "$work/out.txt")"
grep -q "^set-ip 02-C0-4E-00-00-00 $CORVANE_NET1.100 -> $CORVANE_NET1.50 from $CORVANE_NET1.1:" "$work/lan1.log" ||
    fail "lan1's device did not get its set-ip from pc1's address"
[ "$(count lan1 set-) $(count lan2 set-)" = "1 0" ] || fail "the set command did not reach lan1 only"

echo "== a list of three, one of them a mask-only change =="
cat >"$work/list.txt" <<LIST
# cabinet 4
02-C0-4E-00-00-01 $CORVANE_NET1.61
02-c0-4e-02-00-02 $CORVANE_NET2.102 255.255.0.0   # the mask only
02:C0:4E:02:00:03 $CORVANE_NET2.63 255.255.255.0
LIST
set_in --json --from "$work/list.txt"
expect 0 "the list of three"
python3 - "$work/out.txt" "$CORVANE_NET1" "$CORVANE_NET2" <<'PYTHON' || fail "the list's JSON is wrong: $(cat "$work/out.txt")"
import json, sys
got = json.load(open(sys.argv[1], encoding="utf-8"))
net1, net2 = sys.argv[2:4]
expected = [
    {"mac": "02-C0-4E-00-00-01", "interface": "pc1", "oldAddress": f"{net1}.101", "oldMask": "255.255.255.0",
     "newAddress": f"{net1}.61", "newMask": "255.255.255.0", "commands": ["set-ip"], "status": "confirmed", "detail": ""},
    {"mac": "02-C0-4E-02-00-02", "interface": "pc2", "oldAddress": f"{net2}.102", "oldMask": "255.255.255.0",
     "newAddress": f"{net2}.102", "newMask": "255.255.0.0", "commands": ["set-mask"], "status": "confirmed", "detail": ""},
    {"mac": "02-C0-4E-02-00-03", "interface": "pc2", "oldAddress": f"{net2}.103", "oldMask": "255.255.255.0",
     "newAddress": f"{net2}.63", "newMask": "255.255.255.0", "commands": ["set-ip"], "status": "confirmed", "detail": ""},
]
if got != expected:
    print("expected", expected, "\ngot     ", got)
    sys.exit(1)
PYTHON
grep -qx "set-mask 02-C0-4E-02-00-02 255.255.255.0 -> 255.255.0.0 (address $CORVANE_NET2.102) from $CORVANE_NET2.1:[0-9]* to 255.255.255.255" \
    "$work/lan2.log" || fail "the mask-only change did not carry the device's own address"
[ "$(count lan1 set-) $(count lan2 set-)" = "2 2" ] || fail "the list's commands did not go to their devices' LANs only"

# An unknown MAC, a list with a bad line and a device that ignores the change are
# corvane_session_tests' (no root needed): here is what only real sockets show.

echo "== one MAC on both LANs: refused as ambiguous unless --interface picks one =="
before="$(seen)"
set_in "$twin" "$CORVANE_NET2.80"
expect 1 "an ambiguous MAC"
grep -q "^$twin - - -> $CORVANE_NET2.80 - ambiguous: answers on pc[12] and pc[12]; choose one with --interface" "$work/out.txt" ||
    fail "not refused as ambiguous: $(cat "$work/out.txt")"
[ "$(count lan1 set-) $(count lan2 set-)" = "${before% * *}" ] || fail "a set command went out for an ambiguous MAC"
lan1_probes="$(count lan1 probe)"
set_in --interface=pc2 "$twin" "$CORVANE_NET2.80"
expect 0 "the twin on pc2"
grep -q "confirmed on pc2 (set-ip)$" "$work/out.txt" || fail "the twin on pc2: $(cat "$work/out.txt")"
grep -q "^set-ip $twin $CORVANE_NET2.120 -> $CORVANE_NET2.80 " "$work/lan2.log" || fail "lan2's twin did not get the change"
grep -q "^set-.* $twin " "$work/lan1.log" && fail "lan1's twin got a command meant for pc2's"
[ "$(count lan1 probe)" = "$lan1_probes" ] || fail "--interface=pc2 probed lan1 as well"

echo "== a batch at one address: --dry-run, a range too short and this PC's address send nothing =="
before="$(seen)"
set_in --dry-run --renumber "$CORVANE_NET2.200" --first "$CORVANE_NET2.20" --mask 255.255.0.0
expect 0 "--renumber --dry-run"
[ "$(grep -c " would send on pc2 (set-ip, set-mask)$" "$work/out.txt")" -eq 5 ] ||
    fail "--renumber --dry-run printed: $(cat "$work/out.txt")"
set_in --renumber "$CORVANE_NET2.200" --first "$CORVANE_NET2.253"
expect 2 "a range too short"
grep -qx "corvane-set: the range from $CORVANE_NET2.253 runs out of the subnet $CORVANE_NET2.0 mask 255.255.255.0 after 2 of 5 devices; nothing sent" \
    "$work/err.txt" || fail "a range too short: $(cat "$work/err.txt")"
set_in "$in_the_way" "$CORVANE_NET2.1"
expect 2 "this PC's own address"
grep -q "is this PC's address on pc2; nothing sent$" "$work/err.txt" || fail "this PC's address: $(cat "$work/err.txt")"
[ "$(count lan1 set-) $(count lan2 set-)" = "${before% * *}" ] || fail "a refused or dry run sent a set command"

echo "== the batch renumbered around the address in use, each confirmed =="
set_in --renumber "$CORVANE_NET2.200" --first "$CORVANE_NET2.20" --mask 255.255.0.0
expect 0 "the renumbering"
for i in 1 2 3 4 5; do
    mac="${batch[$((i - 1))]}" new="$CORVANE_NET2.$((20 + i))"
    grep -qx "$mac $CORVANE_NET2.200 255.255.255.0 -> $new 255.255.0.0 confirmed on pc2 (set-ip, set-mask)" \
        "$work/out.txt" || fail "$mac was not renumbered to $new: $(cat "$work/out.txt")"
    ip_line="$(grep -n "^set-ip $mac $CORVANE_NET2.200 -> $new " "$work/lan2.log" | cut -d: -f1)"
    mask_line="$(grep -n "^set-mask $mac 255.255.255.0 -> 255.255.0.0 (address $new) " "$work/lan2.log" | cut -d: -f1)"
    [ -n "$ip_line" ] && [ -n "$mask_line" ] && [ "$ip_line" -lt "$mask_line" ] ||
        fail "$mac's log has no set-ip before its set-mask"
done
grep -q "^set-.* $in_the_way " "$work/lan2.log" && fail "the device in the way got a command"
grep -q "^set-.* 02-C0-4E-0B-" "$work/lan1.log" && fail "lan1 got a command for the batch on lan2"

echo "PASSED: changes confirmed and refused as they should be, each sent out of its device's interface only"
