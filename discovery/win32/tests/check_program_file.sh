#!/usr/bin/env bash
# Checks the built Corvane.exe as it ships: a GUI program, under 1 MiB, that
# imports system DLLs only (everything else linked in). Given STRIP, the check
# is made on a stripped copy, as the Windows zip has it.
# usage: check_program_file.sh OBJDUMP EXE [STRIP]
set -euo pipefail
objdump_tool="$1"
program="$2"
if [ $# -gt 2 ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    "$3" --strip-all -o "$work/$(basename "$program")" "$program"
    program="$work/$(basename "$program")"
fi
headers="$("$objdump_tool" -p "$program")"
system_dlls='^(kernel32|user32|gdi32|ws2_32|iphlpapi|msvcrt)\.dll$'
status=0
imports="$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers")"
[ -n "$imports" ] || { echo "no imports read from $program"; exit 1; }
others="$(grep -v -E "$system_dlls" <<<"$imports" || true)"
if [ -n "$others" ]; then
    echo "$program needs DLLs beyond the system's:" $others
    status=1
fi
grep -q -E '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers" || { echo "$program is not a GUI program"; status=1; }
size=$(stat -c %s "$program")
((size < 1048576)) || { echo "$program is $size bytes, not under 1 MiB"; status=1; }
((status == 0)) && echo "$program: $size bytes, imports" $imports
exit $status
