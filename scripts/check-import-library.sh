#!/usr/bin/env bash
# Checks an MSVC import library (.lib) against its DLL: it defines exactly the
# given import symbols (__imp__QARNOpenReader@8, the symbols an MSVC-compiled
# caller refers to), each imports from that DLL, and the name each hands the
# loader, which the symbol and the library's name type give, is in the DLL's
# export table. A library that links but names what the DLL does not export
# ends its program at the first call.
#   check-import-library.sh LLVM_READOBJ OBJDUMP LIB DLL SYMBOL...
set -euo pipefail
readobj="$1" objdump_tool="$2" library="$3" dll="$4"
shift 4
here="$(cd "$(dirname "$0")" && pwd)"

# One line per import member: DLL, name type, import symbol.
members=$("$readobj" "$library" |
    awk '/^File: / { file = $2 }
         /^Format: COFF-import-file/ { member = 1 }
         member && /^Name type: / { type = $3 }
         member && /^Symbol: __imp_/ { print file, type, $2; member = 0 }')
[ -n "$members" ] || { echo "no import members read from $library"; exit 1; }

wanted=$(printf '%s\n' "$@" | sort)
defined=$(awk '{ print $3 }' <<<"$members" | sort)
if [ "$defined" != "$wanted" ]; then
    echo "import symbols of $library differ from the $# expected:"
    diff <(echo "$wanted") <(echo "$defined") || true
    exit 1
fi

exports=$(bash "$here/check-exports.sh" --pe-names "$objdump_tool" "$dll")
dll_name=$(basename "$dll")
status=0
while read -r file type symbol; do
    name="${symbol#__imp_}"
    case "$type" in
        name) ;;
        noprefix) name="${name#[?@_]}" ;;
        undecorate) name="${name#[?@_]}"; name="${name%%@*}" ;;
        *) echo "$symbol: name type '$type'"; status=1; continue ;;
    esac
    if [ "${file,,}" != "${dll_name,,}" ]; then
        echo "$symbol imports from $file, not $dll_name"; status=1
    elif ! grep -qxF -- "$name" <<<"$exports"; then
        echo "$symbol imports '$name' ($type), which $dll_name does not export"; status=1
    fi
done <<<"$members"
[ "$status" -eq 0 ] || exit 1
echo "$library: the $# import symbols, each naming an export of $dll_name"
