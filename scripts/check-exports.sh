#!/usr/bin/env bash
# Checks that a shared library exports exactly the given names and nothing
# else of ours.
#   check-exports.sh NM LIBRARY NAME...         an ELF shared object (nm -D)
#   check-exports.sh --pe OBJDUMP DLL NAME...   a Windows DLL's export table
#   check-exports.sh --pe-names OBJDUMP DLL     prints a DLL's export names
# For ELF, symbols that the linker or a sanitizer runtime defines in every
# shared object are set aside first.
set -euo pipefail
# The export table's name list: "[ordinal] name" lines after "[Ordinal/Name Pointer] Table".
pe_export_names() {
    "$1" -p "$2" |
        awk '/\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
             table && /^[ \t]*\[[ \t]*[0-9]+\]/ { print $NF; next }
             table && NF == 0 { table = 0 }'
}
if [ "$1" = "--pe-names" ]; then
    pe_export_names "$2" "$3"
    exit 0
fi
if [ "$1" = "--pe" ]; then
    objdump_tool="$2"
    library="$3"
    shift 3
    defined=$(pe_export_names "$objdump_tool" "$library")
    ours=$(sort -u <<<"$defined")
else
    nm_tool="$1"
    library="$2"
    shift 2
    toolchain='^(_init|_fini|__bss_start|_edata|_end|__(asan|ubsan|sanitizer|lsan)_[A-Za-z0-9_]*|__odr_asan[A-Za-z0-9_.]*)$'
    defined=$("$nm_tool" -D --defined-only "$library" | awk 'NF >= 3 { print $3 } NF == 2 { print $2 }' | sed 's/@.*//')
    ours=$(grep -v -E "$toolchain" <<<"$defined" | sort -u || true)
fi
[ -n "$defined" ] || { echo "no exported symbols read from $library"; exit 1; }
wanted=$(printf '%s\n' "$@" | sort -u)

if [ "$ours" != "$wanted" ]; then
    echo "exported symbols of $library differ from the $# expected:"
    diff <(echo "$wanted") <(echo "$ours") || true
    exit 1
fi
echo "$library exports exactly the $# expected functions"
