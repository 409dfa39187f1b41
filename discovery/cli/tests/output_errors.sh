#!/usr/bin/env bash
# corvane-scan and corvane-set end with status 2 and say so when their standard output
# cannot be written: a full device, a closed descriptor. --help and --version print
# without touching the network, so this runs anywhere.
# usage: output_errors.sh PROGRAM [LOADER]   (LOADER: wine64 for a Windows build)
set -uo pipefail
source "$(dirname "$0")/../../../scripts/script-lib.sh"
scan=("${@:2}" "$1")
name="$(basename "$1" .exe)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for option in --help --version; do
    "${scan[@]}" "$option" >"$work/out.txt" 2>"$work/err.txt"
    status=$?
    [ "$status" -eq 0 ] && [ -s "$work/out.txt" ] || fail "$option to a file ended with $status"
    for target in /dev/full closed; do
        if [ "$target" = closed ]; then
            "${scan[@]}" "$option" >&- 2>"$work/err.txt"
        else
            "${scan[@]}" "$option" >"$target" 2>"$work/err.txt"
        fi
        status=$?
        [ "$status" -eq 2 ] || fail "$option with standard output $target ended with $status, not 2"
        tr -d '\r' <"$work/err.txt" | grep -qx "$name: cannot write to standard output" ||
            fail "$option with standard output $target: no clear message: $(cat "$work/err.txt")"
    done
done
echo "PASSED: output that cannot be written ends $name with 2 and a message"
