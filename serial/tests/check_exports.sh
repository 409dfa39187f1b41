#!/usr/bin/env bash
# Checks that the library's dynamic symbol table defines the 26 Sio
# functions and nothing else of ours. Symbols that the linker or a
# sanitizer runtime defines in every shared object are set aside first.
# Usage: check_exports.sh NM LIBRARY
set -euo pipefail
nm_tool="$1"
library="$2"

expected="SioBaud SioBrkSig SioCTS SioDCD SioDSR SioDTR SioDebug SioDone SioFlow SioGetc
SioGets SioInfo SioParms SioPutc SioPuts SioRI SioRTS SioRead SioReset SioRxClear
SioRxQue SioStatus SioTxClear SioTxQue SioUnGetc SioWinError"
toolchain='^(_init|_fini|__bss_start|_edata|_end|__(asan|ubsan|sanitizer|lsan)_[A-Za-z0-9_]*|__odr_asan[A-Za-z0-9_.]*)$'

defined=$("$nm_tool" -D --defined-only "$library" | awk 'NF >= 3 { print $3 } NF == 2 { print $2 }' | sed 's/@.*//')
ours=$(grep -v -E "$toolchain" <<<"$defined" | sort -u || true)
wanted=$(tr ' ' '\n' <<<"$expected" | tr -s '\n' | sort -u)

if [ "$ours" != "$wanted" ]; then
    echo "exported symbols differ from the 26 Sio functions:"
    diff <(echo "$wanted") <(echo "$ours") || true
    exit 1
fi
echo "$(wc -l <<<"$ours") exported symbols, all Sio functions"
