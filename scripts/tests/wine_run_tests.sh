#!/usr/bin/env bash
# scripts/wine-run.sh with a stand-in loader: only a run that failed at once
# having printed nothing is run again, once, and logged; every other outcome
# (output, a slow failure, success) is passed on as it is, and the program
# gets the caller's descriptors, closed ones included; the run and its output
# end with the program, not with a process it left behind.
set -uo pipefail
source "$(dirname "$0")/../script-lib.sh"
run="$(cd "$(dirname "$0")/.." && pwd)/wine-run.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The stand-in: counts its runs in $work/runs, then does what its first argument says.
cat >"$work/loader" <<'LOADER'
#!/usr/bin/env bash
echo run >>"$WORK/runs"
case "$1" in
    silent-once) [ "$(grep -c . "$WORK/runs")" -ge 2 ] && { echo second; exit 0; }; exit 3 ;;
    silent) exit 3 ;;
    says) echo "started"; exit 4 ;;
    complains) echo "cannot open" >&2; exit 6 ;;
    slow) sleep 1.5; exit 5 ;;
    write) echo x || exit 2; exit 0 ;;
    echo-input) cat; exit 0 ;;
    # As a Wine program that starts a service process: it outlives the
    # program, holding its output.
    leaves-child)
        sleep 120 </dev/null &
        echo $! >"$WORK/child"
        head -c 200000 /dev/zero | tr '\0' x
        echo
        echo "last words" >&2
        exit 0 ;;
esac
LOADER
chmod +x "$work/loader"
export WORK="$work"

# outcome MODE REDIRECTION...: the run's status, output and runs, and the log's lines.
outcome() {
    local mode="$1"
    shift
    rm -f "$work/runs" "$work/retries.log"
    out="$(eval '"$run" --loader "$work/loader" --log "$work/retries.log" "$mode" program.exe arg' "$@")"
    status=$?
    runs="$(grep -c . "$work/runs" 2>/dev/null || echo 0)"
    logged="$(grep -c . "$work/retries.log" 2>/dev/null || echo 0)"
}

outcome silent-once
[ "$status" -eq 0 ] && [ "$out" = second ] && [ "$runs" -eq 2 ] && [ "$logged" -eq 1 ] ||
    fail "a silent start failure: status $status, output '$out', $runs runs, $logged logged"
grep -q "status 3 after [0-9]* ms, nothing printed; run again: silent-once program.exe arg$" "$work/retries.log" ||
    fail "the log line lacks status, time or command: $(cat "$work/retries.log")"
outcome silent
[ "$status" -eq 3 ] && [ "$runs" -eq 2 ] && [ "$logged" -eq 1 ] ||
    fail "a start failure that stays: status $status, $runs runs, $logged logged (one rerun, then its status)"
outcome silent '2>&1'
[ "$runs" -eq 2 ] || fail "output and errors on one pipe: $runs runs"
outcome silent '>"$work/file"'
[ "$runs" -eq 2 ] || fail "output to a file that did not grow: $runs runs"
for mode in says slow; do
    outcome "$mode"
    [ "$runs" -eq 1 ] && [ "$logged" -eq 0 ] || fail "$mode: run $runs times, $logged logged"
done
[ "$status" -eq 5 ] || fail "the slow failure's status became $status"
outcome complains '2>&1' '>/dev/null'
[ "$out" = "cannot open" ] && [ "$status" -eq 6 ] && [ "$runs" -eq 1 ] ||
    fail "errors alone to a pipe: '$out', status $status, $runs runs (the message must reach the pipe)"
outcome silent '>/dev/null' '2>/dev/null'
[ "$runs" -eq 1 ] || fail "a run whose output nobody sees was run again"
outcome write '>/dev/full' '2>/dev/null'
[ "$status" -eq 2 ] && [ "$runs" -eq 1 ] || fail "output to /dev/full: status $status, $runs runs"
outcome write '>&-' '2>/dev/null'
[ "$status" -eq 2 ] || fail "a closed output was not closed for the program: status $status"
outcome echo-input '<<<"typed"'
[ "$out" = typed ] || fail "the program did not get the caller's input: '$out'"
outcome leaves-child '2>&1'
child="$(cat "$work/child")"
grep -qs '^State:[[:space:]]*[^Z[:space:]]' "/proc/$child/status" ||
    fail "the wrapper returned only once the stand-in's child had ended"
kill "$child"
[ "$status" -eq 0 ] && [ "${#out}" -eq 200011 ] && [ "${out: -10}" = "last words" ] ||
    fail "a program whose child outlives it: status $status, ${#out} characters ending '${out: -10}'"
echo "PASSED: only silent start failures are run again, once, and logged; descriptors are the caller's;" \
    "the output ends with the program"
