#!/bin/sh
# Runs the reader simulator as its own process and the example program
# against it, as a user would: COM1 names the path the simulator prints.
#   example_against_simulator.sh SIMULATOR [EMULATOR] EXAMPLE
# With an emulator (Wine, WINEPREFIX set) the path is mapped into the prefix
# as COM1 instead.
set -eu
simulator="$1"
shift
work=$(mktemp -d)
sim_pid=""
mapped=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    [ -n "$mapped" ] && rm -f "$mapped"
    rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/path"
"$simulator" > "$work/path" 2>/dev/null &
sim_pid=$!
read -r device < "$work/path"
[ -c "$device" ] || { echo "simulator printed no device: '$device'"; exit 1; }
if [ $# -gt 1 ]; then
    [ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX is not set"; exit 1; }
    . "$(dirname "$0")/../../scripts/wine-env.sh"
    mapped="$WINEPREFIX/dosdevices/com1"
    wine_env_map_com 1 "$device"
fi

# Windows programs end their lines with CR LF.
COM1="$device" "$@" > "$work/raw"
tr -d '\r' < "$work/raw" > "$work/out"
cat "$work/out"
grep -q '^reader clock: year ' "$work/out"
[ "$(grep -c '^log record ' "$work/out")" -eq 3 ] || { echo "expected 3 log records"; exit 1; }
grep -q '^log: no more records' "$work/out"

# The log was acknowledged: a second run finds it empty.
COM1="$device" "$@" > "$work/raw"
tr -d '\r' < "$work/raw" > "$work/again"
[ "$(grep -c '^log record ' "$work/again")" -eq 0 ] || { echo "log was not acknowledged"; exit 1; }
echo "example ran against the simulator"
