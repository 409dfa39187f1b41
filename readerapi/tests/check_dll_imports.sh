#!/usr/bin/env bash
# Checks that a Windows program imports exactly the given names from a DLL:
# what its import library made of the declarations the program compiled.
#   check_dll_imports.sh OBJDUMP PROGRAM DLL NAME...
set -euo pipefail
objdump_tool="$1"
program="$2"
dll="$3"
shift 3
imported=$("$objdump_tool" -p "$program" |
    awk -v dll="$dll" '$1 == "DLL" && $2 == "Name:" { inside = ($3 == dll); next }
                       inside && /^\t[0-9a-f]+\t/ { print $NF; next }
                       inside && NF == 0 { inside = 0 }' | sort -u)
wanted=$(printf '%s\n' "$@" | sort -u)
if [ "$imported" != "$wanted" ]; then
    echo "$program imports from $dll other names than the $# expected:"
    diff <(echo "$wanted") <(echo "$imported") || true
    exit 1
fi
echo "$program imports exactly the $# expected names from $dll"
