#!/usr/bin/env bash
# Compiles a public header as an MSVC compiler would (clang in MSVC mode, C and
# C++, /W4 and every warning an error) and checks the import symbols that a
# use of every function refers to: exactly the given ones. On 32 bits those
# carry the stdcall decoration (__imp__SioReset@12), so the check shows each
# function declared stdcall with its argument bytes.
#   check-msvc-header.sh CLANG LLVM_NM TARGET INCLUDE_DIR HEADER FUNCTION... -- SYMBOL...
set -euo pipefail
clang="$1" nm_tool="$2" target="$3" include_dir="$4" header="$5"
shift 5
functions=()
while [ "$1" != "--" ]; do functions+=("$1"); shift; done
shift

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
    echo "#include <$header>"
    # Addresses taken at run time, through the import table.
    echo "typedef void (*AnyFunction)(void);"
    echo "void collect(AnyFunction *used);"
    echo "void collect(AnyFunction *used)"
    echo "{"
    for f in "${functions[@]}"; do echo "    *used++ = (AnyFunction)&$f;"; done
    echo "}"
} > "$work/use.c"

wanted=$(printf '%s\n' "$@" | sort)
for language in /TC /TP; do
    if ! "$clang" --driver-mode=cl --target="$target" /nologo /W4 /WX "$language" /c \
            "/I$include_dir" "$work/use.c" "/Fo$work/use.obj" > "$work/log" 2>&1; then
        cat "$work/log"
        echo "$header does not compile cleanly for $target ($language)"
        exit 1
    fi
    referred=$("$nm_tool" -u "$work/use.obj" | awk '$2 ~ /^__imp_/ { print $2 }' | sort)
    if [ "$referred" != "$wanted" ]; then
        echo "$header ($language, $target) refers to other import symbols than the $# expected:"
        diff <(echo "$wanted") <(echo "$referred") || true
        exit 1
    fi
done
echo "$header compiles for $target as C and C++ at /W4, referring to the $# expected import symbols"
