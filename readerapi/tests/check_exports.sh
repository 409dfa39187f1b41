#!/bin/sh
# Checks that the library defines exactly the 23 API functions as dynamic
# symbols. Symbols that the toolchain or a sanitizer runtime adds are set
# aside by name; anything else, above all our own C++ names, fails.
set -eu
lib="$1"

expected="QARNCloseReader QARNGetFileLen QARNGetLogAck QARNGetLogData QARNGetReaderInfo
QARNGetTime QARNOpenReader QARNSendFile QARNSetTime QARNSpecialCommand QARNStartAPI
QARNTerminateAPI StartAPI TRQCloseReader TRQGetInfoV1 TRQGetLogEntry TRQGetTime
TRQOpenReader TRQSendFile TRQSetTime TRQUserCommand TerminateAPI delay"

defined=$(nm -D --defined-only "$lib" | awk 'NF >= 3 { print $3 }')
[ -n "$defined" ] || { echo "no dynamic symbols read from $lib"; exit 1; }

ours=$(printf '%s\n' "$defined" |
    grep -Ev '^(_init|_fini|_edata|_end|__bss_start|__(asan|ubsan|lsan|sanitizer)_.*)$' |
    sed 's/@.*//' | sort)
want=$(printf '%s\n' $expected | sort)

if [ "$ours" != "$want" ]; then
    echo "exported symbols differ from the API:"
    printf '%s\n' "$want" > "${TMPDIR:-/tmp}/qarnapi-want.$$"
    printf '%s\n' "$ours" | diff "${TMPDIR:-/tmp}/qarnapi-want.$$" - || true
    rm -f "${TMPDIR:-/tmp}/qarnapi-want.$$"
    exit 1
fi
echo "libQARNAPI exports exactly the $(printf '%s\n' "$ours" | wc -l) API functions"
