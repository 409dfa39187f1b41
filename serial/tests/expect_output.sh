#!/usr/bin/env bash
# Passes when COMMAND ends with status 0 and printed a line matching PATTERN
# (grep -E, carriage returns dropped). ctest's PASS_REGULAR_EXPRESSION alone
# ignores the status: a program that printed the line and then crashed would pass.
#   expect_output.sh PATTERN COMMAND...
set -uo pipefail
pattern="$1"
shift
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
"$@" 2>&1 | tee "$out"
status=${PIPESTATUS[0]}
tr -d '\r' <"$out" | grep -Eq -- "$pattern" || { echo "FAILED: no line matches '$pattern'"; exit 1; }
((status == 0)) || { echo "FAILED: ended with status $status"; exit 1; }
echo "PASSED: status 0 and a line matching '$pattern'"
