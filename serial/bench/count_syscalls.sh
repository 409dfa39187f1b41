#!/usr/bin/env bash
# System calls per byte-path call of the serial library over a pseudo-
# terminal: traces call_trace and counts the calls between its markers.
# Usage: count_syscalls.sh path/to/serwyn_call_trace
set -euo pipefail
trace="$(mktemp)"
trap 'rm -f "$trace"' EXIT
strace -qq -o "$trace" "$1" >/dev/null
awk -v calls=100 '
  BEGIN { split("SioGetc(byte) SioGetc(empty) SioGets(empty) - SioGets(waiting) SioPuts(16)", names, " ") }
  /^getppid\(/ { if (stretch > 0 && stretch <= 6 && names[stretch] != "-") report(); stretch++; n = 0; delete seen; next }
  stretch >= 1 { split($0, f, "("); name = f[1]; n++; seen[name]++ }
  function report(   k, list) {
    list = ""
    for (k in seen) list = list sprintf(" %s %.2f", k, seen[k] / calls)
    printf "%-18s %.2f per call:%s\n", names[stretch], n / calls, list
  }' "$trace"
