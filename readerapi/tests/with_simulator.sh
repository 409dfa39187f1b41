#!/usr/bin/env bash
# Runs a Windows test program under Wine against the reader simulator, a
# Linux program on a pty that is mapped into the Wine prefix as COMn.
#   with_simulator.sh SIMULATOR N COMMAND...
set -euo pipefail
simulator="$1"
com="$2"
shift 2
[ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX is not set"; exit 1; }
work=$(mktemp -d)
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -f "$WINEPREFIX/dosdevices/com$com"
    rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/path"
"$simulator" > "$work/path" 2>/dev/null &
sim_pid=$!
read -r device < "$work/path"
[ -c "$device" ] || { echo "simulator printed no device: '$device'"; exit 1; }
mkdir -p "$WINEPREFIX/dosdevices"
ln -sfn "$device" "$WINEPREFIX/dosdevices/com$com"
"$@"
