#!/usr/bin/env bash
# Runs a Windows test program under Wine against reader simulators, Linux
# programs on ptys that are mapped into the Wine prefix as COM ports.
#   with_simulator.sh SIMULATOR N[:OPTION]... -- COMMAND...
# Each N starts one simulator (with --OPTION, for example 13:stalled) on COMN.
set -euo pipefail
simulator="$1"
shift
[ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX is not set"; exit 1; }
work=$(mktemp -d)
pids=()
mapped=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    for link in "${mapped[@]}"; do rm -f "$link"; done
    rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../../scripts/wine-env.sh"

while [ "$1" != "--" ]; do
    com="${1%%:*}"
    option=()
    [ "$com" = "$1" ] || option=("--${1#*:}")
    shift
    mkfifo "$work/path$com"
    "$simulator" "${option[@]}" > "$work/path$com" 2>/dev/null &
    pids+=($!)
    read -r device < "$work/path$com"
    [ -c "$device" ] || { echo "simulator for COM$com printed no device: '$device'"; exit 1; }
    mapped+=("$WINEPREFIX/dosdevices/com$com")
    wine_env_map_com "$com" "$device"
done
shift
"$@"
