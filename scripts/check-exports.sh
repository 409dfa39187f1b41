#!/usr/bin/env bash
# Checks that a shared library's dynamic symbol table defines exactly the
# given names and nothing else of ours. Symbols that the linker or a
# sanitizer runtime defines in every shared object are set aside first.
# Usage: check-exports.sh NM LIBRARY NAME...
set -euo pipefail
nm_tool="$1"
library="$2"
shift 2

toolchain='^(_init|_fini|__bss_start|_edata|_end|__(asan|ubsan|sanitizer|lsan)_[A-Za-z0-9_]*|__odr_asan[A-Za-z0-9_.]*)$'

defined=$("$nm_tool" -D --defined-only "$library" | awk 'NF >= 3 { print $3 } NF == 2 { print $2 }' | sed 's/@.*//')
[ -n "$defined" ] || { echo "no dynamic symbols read from $library"; exit 1; }
ours=$(grep -v -E "$toolchain" <<<"$defined" | sort -u || true)
wanted=$(printf '%s\n' "$@" | sort -u)

if [ "$ours" != "$wanted" ]; then
    echo "exported symbols of $library differ from the $# expected:"
    diff <(echo "$wanted") <(echo "$ours") || true
    exit 1
fi
echo "$library exports exactly the $# expected functions"
