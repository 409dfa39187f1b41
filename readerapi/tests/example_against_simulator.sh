#!/bin/sh
# Runs the reader simulator as its own process and the example program
# against it, as a user would: COM1 names the path the simulator prints.
set -eu
simulator="$1"
example="$2"
work=$(mktemp -d)
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/path"
"$simulator" > "$work/path" 2>/dev/null &
sim_pid=$!
read -r device < "$work/path"
[ -c "$device" ] || { echo "simulator printed no device: '$device'"; exit 1; }

COM1="$device" "$example" > "$work/out"
cat "$work/out"
grep -q '^reader clock: year ' "$work/out"
[ "$(grep -c '^log record ' "$work/out")" -eq 3 ] || { echo "expected 3 log records"; exit 1; }
grep -q '^log: no more records' "$work/out"

# The log was acknowledged: a second run finds it empty.
COM1="$device" "$example" > "$work/again"
[ "$(grep -c '^log record ' "$work/again")" -eq 0 ] || { echo "log was not acknowledged"; exit 1; }
echo "example ran against the simulator"
