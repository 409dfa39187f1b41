#!/usr/bin/env bash
# The Windows build under Wine against the reader simulator that
# with_simulator.sh mapped as COM4: the clock round trip and the log, and a
# port that does not exist refused on the console instead of in the
# library's message box.
#   under_wine.sh EMULATOR QARN_READER_EXE
set -euo pipefail
emulator="$1"
program="$2"
fail() { echo "FAIL: $*"; exit 1; }
# Windows programs end their lines with CR LF.
reader() { "$emulator" "$program" "$@" 2> >(tr -d '\r' >&2) | tr -d '\r'; }

out=$(reader --port 4 set-time 2027-03-07T14:05:09) || fail "set-time exited with $?"
[ "$out" = "clock set to 2027-03-07 14:05:09 Sunday" ] || fail "set-time printed '$out'"
out=$(reader --port 4 --json time) || fail "time exited with $?"
[ "$out" = '{"time": "2027-03-07 14:05:09", "dayOfWeek": 0, "weekday": "Sunday"}' ] || fail "time printed '$out'"
# Output that cannot be written is a failure, and the record stays in the reader.
status=0
"$emulator" "$program" --port 4 logs >/dev/full 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "logs into /dev/full gave exit $status"
out=$(reader --port 4 logs) || fail "logs exited with $?"
[ "$(grep -c . <<< "$out")" -eq 3 ] || fail "logs printed '$out'"
out=$(reader --port 4 logs) || fail "logs exited with $?"
[ -z "$out" ] || fail "the log was not acknowledged: '$out'"

status=0
err=$(reader --port 99 time 2>&1 >/dev/null) || status=$?
[ "$status" -eq 2 ] || fail "a missing port gave exit $status: $err"
[[ "$err" == "qarn-reader: cannot open COM99: "*"(Windows error "*"); the library would fail with RC_PORT_FAILED (254)" ]] ||
    fail "a missing port printed '$err'"
echo "$err"
echo "qarn-reader.exe ran under Wine against the simulator"
