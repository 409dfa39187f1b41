#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite in stages
# (scripts/stages/): the Linux build as released with its package test, the
# same under AddressSanitizer and UndefinedBehaviorSanitizer, a short run of
# every fuzz target, the 64-bit Windows build under Wine, and the 32-bit
# Windows build. Every stage runs even when an earlier one failed; a stage
# fails when its set-up fails as well as when a test fails, and when a
# root-only test skipped in a run as root. Ends with a table of the stages
# (tests passed, failed and skipped; programs run again because Wine failed to
# start them), then what a stage said of how it ran (a "STAGE: ran ..." line:
# emulated, and what it left out), and fails when any stage did.
#   scripts/test.sh [stage...]      (default: all, in this order)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
all_stages=(linux sanitize fuzz win64 win32)
stages=("$@")
((${#stages[@]})) || stages=("${all_stages[@]}")

"$root/scripts/install-deps.sh" test || { echo "test.sh: installing what the suite needs failed" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

logs="$root/build-logs"
mkdir -p "$logs"
results=()
notes=()
total_passed=0 total_failed=0 total_skipped=0 any_failed=0

# From a stage's log: tests run, failed and skipped (ctest's closing lines,
# its "***Skipped" lines, and the fuzzer's), the root-only tests that skipped
# (those in network namespaces, named *_in_namespaces), and the programs run
# again because Wine failed to start them ("STAGE: Wine reruns: N").
# A GoogleTest case that skips inside a program registered as one test shows
# as a pass: such cases are registered on their own where they can skip.
count_tests() {
    local log="$1" run=0 failed=0 skipped=0 reruns=0 root_only="" line n m
    while IFS= read -r line; do
        if [[ $line =~ tests\ passed,\ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
            n=${BASH_REMATCH[1]} m=${BASH_REMATCH[2]}
            run=$((run + m)) failed=$((failed + n))
        elif [[ $line =~ Test\ +#[0-9]+:\ ([^ ]+)\ .*\*\*\*Skipped ]]; then
            skipped=$((skipped + 1))
            [[ ${BASH_REMATCH[1]} == *_in_namespaces ]] && root_only+="${root_only:+ }${BASH_REMATCH[1]}"
        elif [[ $line =~ ^[a-z0-9]+:\ Wine\ reruns:\ ([0-9]+)$ ]]; then
            reruns=$((reruns + BASH_REMATCH[1]))
        elif [[ $line =~ ^fuzzing:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
            run=$((run + BASH_REMATCH[1] + BASH_REMATCH[2])) failed=$((failed + BASH_REMATCH[2]))
        fi
    done <"$log"
    echo "$run $failed $skipped $reruns ${root_only:--}"
}

for stage in "${stages[@]}"; do
    script="$root/scripts/stages/$stage.sh"
    log="$logs/$stage.log"
    echo "== Stage $stage (log: $log) =="
    start=$SECONDS
    if [ -f "$script" ]; then
        bash "$script" 2>&1 | tee "$log"
        status=${PIPESTATUS[0]}
    else
        echo "test.sh: no stage named $stage" | tee "$log"
        status=1
    fi
    seconds=$((SECONDS - start))
    read -r run failed skipped reruns root_only < <(count_tests "$log")
    # What a stage says of how it ran ("STAGE: ran ..."), e.g. emulated with tests left out.
    mapfile -t -O "${#notes[@]}" notes < <(grep -E "^$stage: ran " "$log" || true)
    # A run as root has the namespaces: a root-only test that skipped all the
    # same did not test what it owns.
    if [ "$root_only" != - ] && [ "$(id -u)" -eq 0 ]; then
        echo "test.sh: $stage: skipped although this run is root: $root_only" | tee -a "$log"
        status=1
    fi
    if ((status == 0)); then
        result=passed
    else
        result=FAILED any_failed=1
        # A stage that failed before its tests ran, or after they all passed, counts once.
        ((failed > 0)) || failed=1
    fi
    # ctest counts a skipped test among those that did not fail.
    passed=$((run - failed - skipped))
    ((passed >= 0)) || passed=0
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    results+=("$(printf '%-10s %-7s %6d %7d %7d %7d %6ds' "$stage" "$result" "$passed" "$failed" "$skipped" "$reruns" "$seconds")")
done

echo
echo "== Stages =="
printf '%-10s %-7s %6s %7s %7s %7s %7s\n' stage result passed failed skipped reruns time
printf '%s\n' "${results[@]}"
((${#notes[@]} == 0)) || printf '%s\n' "${notes[@]}"
echo "test.sh: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit $any_failed
