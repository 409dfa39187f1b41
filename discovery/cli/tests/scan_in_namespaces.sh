#!/usr/bin/env bash
# corvane-scan over real limited broadcasts, in network namespaces made here and
# removed on the way out:
#  - a "pc" with two interfaces: three devices behind the default-route one, four
#    behind the other, and on that second LAN one more device in a foreign subnet
#    that answers by broadcast;
#  - a "pc" with one interface, which must send exactly one probe per scan;
#  - a namespace with no usable interface at all.
# With a third argument the scanner is a Windows program, run by the Wine loader
# that WINELOADER names (WINEARCH gives the prefix's kind) with a private prefix whose wineserver (which owns the program's sockets) is started
# inside each namespace and stopped before the namespace goes.
# usage: scan_in_namespaces.sh CORVANE-SCAN CORVANE-DEVSIM [--wine]
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
need_root "the corvane-scan test needs root to create its network namespaces"
scan="$1"
devsim="$2"
wine_mode="${3:-}"
source "$(dirname "$0")/../../../scripts/corvane-netns.sh"
source "$(dirname "$0")/../../../scripts/wine-env.sh"

work="$(mktemp -d)"
wine_in=""        # the namespace whose wineserver runs, if any
if [ "$wine_mode" = "--wine" ]; then
    [ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
fi
stop_wineserver() {
    [ -n "$wine_in" ] && timeout -k 5 30 ip netns exec "$wine_in" wineserver -k 2>/dev/null
    wine_in=""
    return 0
}
# Starts the prefix's wineserver inside namespace $1, so the program's sockets live there.
start_wineserver() {
    [ "$wine_mode" = "--wine" ] || return 0
    timeout -k 5 30 ip netns exec "$1" wineserver -p || fail "cannot start a wineserver in $1"
    wine_in="$1"
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
        timeout -k 5 120 ip netns exec "$1" "$WINELOADER" wineboot -i >/dev/null 2>&1 ||
            fail "cannot make the Wine prefix"
    fi
    # The program broadcasts through the wineserver: it must be this namespace's.
    wine_env_servers_only_in "$1" "$WINEPREFIX" ||
        fail "no wineserver of this prefix runs in $1, or one runs outside it"
}
cleanup() {
    stop_wineserver
    corvane_stop_simulators
    corvane_netns_delete
}
trap 'cleanup; rm -rf "$work"' EXIT
# Inside ctest's TIMEOUT (120 s, 240 s under Wine), so the clean-up always runs.
if [ "$wine_mode" = "--wine" ]; then script_deadline 200; else script_deadline 100; fi

# simulate NAMESPACE LOG DEVSIM-OPTIONS...
simulate() {
    corvane_simulate "$devsim" "$1" "$work/$2.log" "${@:3}" || fail "the simulator $2 did not start"
}

# Under Wine through the build's emulator (FIELDKIT_WINE_RUN) when it is set.
# Bounded, so that a hanging scan cannot outlive the trap's clean-up. A Windows
# program's line ends are made Unix ones; the exit status is the scanner's.
scan_in() {
    local ns="$1"
    shift
    if [ "$wine_mode" = "--wine" ]; then
        timeout -k 5 60 ip netns exec "$ns" env LC_ALL=C.UTF-8 "${FIELDKIT_WINE_RUN:-$WINELOADER}" "$scan" "$@" |
            tr -d '\r'
        return "${PIPESTATUS[0]}"
    fi
    timeout -k 5 30 ip netns exec "$ns" "$scan" "$@"
}

# The notes a scan wrote on standard error, Unix line ends.
notes() {
    tr -d '\r' <"$work/scan-stderr.log" | grep "^note: "
}

probes_in() {
    grep -c "^probe [0-9]*:" "$work/$1.log"
}

echo "== two interfaces =="
corvane_netns_create_two_lans "scan-$$-$RANDOM" || fail "cannot create the namespaces"
# The second interface gets a name beyond ASCII, as Windows gives its adapters in
# many languages ("Ethernet" in Traditional Chinese); JSON and --interface take it as UTF-8.
second="乙太網路"
ip -n "$CORVANE_NS_PC" link set pc2 down && ip -n "$CORVANE_NS_PC" link set pc2 name "$second" &&
    ip -n "$CORVANE_NS_PC" link set "$second" up || fail "cannot rename pc2"
corvane_simulate_two_lans "$devsim" "$work" || fail "the simulator $CORVANE_SIM_FAILED did not start"
start_wineserver "$CORVANE_NS_PC"

scan_in "$CORVANE_NS_PC" --json >"$work/scan.json" 2>"$work/scan-stderr.log"
status=$?
[ "$status" -eq 0 ] || fail "the JSON scan ended with $status, not 0"
python3 - "$work/scan.json" "$CORVANE_NET1" "$CORVANE_NET2" "$CORVANE_FAR_NET" "$second" <<'PYTHON' || fail "the JSON list is wrong"
import json, sys
devices = json.load(open(sys.argv[1], encoding="utf-8"))
net1, net2, far, second = sys.argv[2:6]
expected = sorted(
    [(f"{net1}.{100 + i}", "255.255.255.0", f"02-C0-4E-00-00-0{i}", i + 1, "pc1") for i in range(3)]
    + [(f"{net2}.{100 + i}", "255.255.255.0", f"02-C0-4E-02-00-0{i}", 21 + i, second) for i in range(4)]
    + [(f"{far}.5", "255.255.0.0", "02-C0-4E-77-00-05", 77, second)])
got = sorted((d["address"], d["mask"], d["mac"], d["deviceId"], d["interface"]) for d in devices)
if got != expected:
    print("expected", expected, "\ngot     ", got)
    sys.exit(1)
outside = [d["mac"] for d in devices if d["outsideSubnets"]]
if outside != ["02-C0-4E-77-00-05"] or any(d["sharesAddressWith"] for d in devices):
    print("findings wrong:", devices)
    sys.exit(1)
PYTHON

scan_in "$CORVANE_NS_PC" >"$work/scan.txt" 2>"$work/scan-stderr.log"
status=$?
[ "$status" -eq 0 ] || fail "the text scan ended with $status, not 0"
# The device in the foreign subnet is noted on standard error, the list unchanged.
notes | grep -qx "note: 02-C0-4E-77-00-05 on $second: $CORVANE_FAR_NET.5 is outside every subnet of $second" ||
    fail "no note of the device outside the subnets: $(cat "$work/scan-stderr.log")"
[ "$(notes | wc -l)" -eq 1 ] || fail "notes of nothing: $(cat "$work/scan-stderr.log")"
[ "$(wc -l <"$work/scan.txt")" -eq 8 ] || fail "not 8 lines: $(cat "$work/scan.txt")"
awk 'length($0) != 56 { exit 1 }' "$work/scan.txt" || fail "a line is not 56 characters long"
sort -c "$work/scan.txt" || fail "the lines are not in the list's order"
grep -qx "$CORVANE_FAR_NET.5 *255.255.0.0 *02-C0-4E-77-00-05 *77" "$work/scan.txt" ||
    fail "the device in the foreign subnet is missing"

# Each scan reached every LAN once, from the address of the interface facing it.
[ "$(probes_in lan1)" -eq 2 ] && [ "$(probes_in lan2)" -eq 2 ] && [ "$(probes_in far)" -eq 2 ] ||
    fail "each LAN should have seen exactly one probe per scan"
[ "$(grep -c "^probe [0-9]*: .* from $CORVANE_NET1.1:[0-9]* to 255.255.255.255$" "$work/lan1.log")" -eq 2 ] ||
    fail "the first LAN's probes did not come from pc1 as limited broadcasts"
[ "$(grep -c "^probe [0-9]*: .* from $CORVANE_NET2.1:[0-9]* to 255.255.255.255$" "$work/lan2.log")" -eq 2 ] ||
    fail "the second LAN's probes did not come from pc2 as limited broadcasts"

# The names are UTF-8 in the JSON text itself, not escaped byte by byte.
grep -q "\"interface\": \"$second\"" "$work/scan.json" || fail "the second interface's name is not UTF-8 in the JSON text"

# --interface limits the scan to one interface, its value after a blank or an equals sign.
scan_in "$CORVANE_NS_PC" --interface "$second" --json >"$work/second.json" 2>"$work/scan-stderr.log" ||
    fail "the scan of $second failed"
scan_in "$CORVANE_NS_PC" --interface="$second" --json >"$work/second-joined.json" 2>"$work/scan-stderr.log" ||
    fail "the scan of --interface=$second failed"
for listed in second second-joined; do
    python3 -c 'import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
sys.exit(0 if len(d) == 5 and all(x["interface"] == sys.argv[2] for x in d) else 1)' "$work/$listed.json" "$second" ||
        fail "--interface $second did not list exactly the five devices behind it: $(cat "$work/$listed.json")"
done
[ "$(probes_in lan1)" -eq 2 ] || fail "--interface $second sent a probe out of pc1"

for bad in "lo:cannot probe interface lo: it is the loopback interface" "nosuch0:no network interface named nosuch0"; do
    scan_in "$CORVANE_NS_PC" --interface "${bad%%:*}" >"$work/out.txt" 2>"$work/err.txt"
    status=$?
    [ "$status" -eq 2 ] || fail "--interface ${bad%%:*} ended with $status, not 2"
    [ -s "$work/out.txt" ] && fail "--interface ${bad%%:*} printed devices"
    tr -d '\r' <"$work/err.txt" | grep -qx "corvane-scan: ${bad#*:}" || fail "no clear message: $(cat "$work/err.txt")"
done
cleanup

echo "== one interface =="
corvane_netns_create "scan1-$$-$RANDOM" || fail "cannot create the namespaces"
# Three devices at one address answer the first two probes, none the third.
simulate "$CORVANE_NS_LAN" single --devices 3 --first-address "$CORVANE_NET.100" --shared-address --answer-counts 3,3,0
start_wineserver "$CORVANE_NS_PC"
scan_in "$CORVANE_NS_PC" >"$work/one.txt" 2>"$work/scan-stderr.log"
status=$?
[ "$status" -eq 0 ] && [ "$(wc -l <"$work/one.txt")" -eq 3 ] || fail "the one-interface scan: status $status"
[ "$(probes_in single)" -eq 1 ] || fail "a host with one interface sent $(probes_in single) probes in one scan"
# Each of the three is noted as sharing its address with the other two.
shared="^note: 02-C0-4E-00-00-0[0-2] on pc shares its address $CORVANE_NET.100 with 02-C0-4E-00-00-0[0-2], 02-C0-4E-00-00-0[0-2]$"
[ "$(notes | grep -c "$shared")" -eq 3 ] || fail "the shared address is not noted: $(cat "$work/scan-stderr.log")"
scan_in "$CORVANE_NS_PC" --json >"$work/one.json" 2>"$work/scan-stderr.log" || fail "the one-interface JSON scan failed"
python3 -c 'import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
macs = {x["mac"] for x in d}
sys.exit(0 if len(d) == 3 and all(set(x["sharesAddressWith"]) == macs - {x["mac"]} and not x["outsideSubnets"]
                                  for x in d) else 1)' "$work/one.json" ||
    fail "the JSON does not say who shares the address: $(cat "$work/one.json")"
notes >/dev/null && fail "a JSON scan wrote notes to standard error"
scan_in "$CORVANE_NS_PC" --timeout 300 >"$work/none.txt" 2>"$work/scan-stderr.log"
status=$?
[ "$status" -eq 1 ] || fail "a scan that finds nothing ended with $status, not 1"
[ -s "$work/none.txt" ] && fail "a scan that finds nothing printed: $(cat "$work/none.txt")"
[ "$(probes_in single)" -eq 3 ] || fail "the third scan did not send exactly one probe"
cleanup

echo "== no usable interface =="
# A fresh namespace holds only a loopback interface, and that is down.
ip netns add "corvane-bare-$$" || fail "cannot create the namespace"
CORVANE_NS_PC="corvane-bare-$$"
start_wineserver "$CORVANE_NS_PC"
scan_in "$CORVANE_NS_PC" >"$work/out.txt" 2>"$work/err.txt"
status=$?
[ "$status" -eq 2 ] || fail "with no usable interface the scan ended with $status, not 2"
grep -q "^corvane-scan: no usable network interface" "$work/err.txt" || fail "no clear message: $(cat "$work/err.txt")"
cleanup

echo "PASSED: both LANs listed, one probe per interface and scan, the exit statuses hold"
