#!/usr/bin/env bash
# Builds and runs the whole test suite in stages (scripts/stages/): the Linux
# build as released with its package test, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer, a short run of every fuzz target, the 64-bit
# Windows build under Wine, and the 32-bit Windows build. Before each stage it
# installs what that stage needs (scripts/install-deps.sh STAGE); a stage whose
# packages cannot be installed fails with apt's reason, and the others still
# run. Every stage runs even when an earlier one failed; a stage fails when its
# set-up fails as well as when a test fails, and when a root-only test skipped
# in a run as root. Ends with a table of the stages (tests passed, failed and
# skipped, from the stage's JUnit report), then what a stage said of how it ran
# (a "STAGE: ran ..." line: emulated, and what it left out) or why its
# packages failed, and fails when any stage did.
#   scripts/test.sh [stage...]      (default: all, in this order)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
all_stages=(linux sanitize fuzz win64 win32)
stages=("$@")
((${#stages[@]})) || stages=("${all_stages[@]}")

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

logs="$root/build-logs"
mkdir -p "$logs"
results=()
notes=()
total_passed=0 total_failed=0 total_skipped=0 any_failed=0

# From a JUnit report (ctest --output-junit, or scripts/fuzz.sh's): "PASSED
# FAILED SKIPPED ROOT-ONLY", ROOT-ONLY the skipped tests that need root (those
# in network namespaces, named *_in_namespaces) or "-". ctest reports a test
# it could not start (no executable, a failed fixture) as not run, like a
# skip: only its SKIP_* reasons make a skip.
# A GoogleTest case that skips inside a program registered as one test shows
# as a pass: such cases are registered on their own where they can skip.
count_tests() {
    python3 - "$1" <<'PYTHON'
import sys, xml.etree.ElementTree as ET
passed = failed = skipped = 0
root_only = []
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    skip = case.find("skipped")
    if case.get("status") == "disabled" or (
            skip is not None and skip.get("message", "").startswith("SKIP_")):
        skipped += 1
        if case.get("name", "").endswith("_in_namespaces"):
            root_only.append(case.get("name"))
    elif case.find("failure") is not None or skip is not None or case.get("status") != "run":
        failed += 1
    else:
        passed += 1
print(passed, failed, skipped, " ".join(root_only) or "-")
PYTHON
}

for stage in "${stages[@]}"; do
    script="$root/scripts/stages/$stage.sh"
    log="$logs/$stage.log"
    junit="$logs/$stage.junit.xml"
    rm -f "$junit"
    : >"$log"
    echo "== Stage $stage (log: $log) =="
    start=$SECONDS
    status=0
    if [ ! -f "$script" ]; then
        echo "test.sh: no stage named $stage" | tee -a "$log"
        status=1
    elif ! "$root/scripts/install-deps.sh" "$stage" 2>&1 | tee -a "$log"; then
        # apt's own words: the error lines of its last step (the install, not
        # an index update that failed before it), else the last line written.
        reason="$(awk '/^(install-deps: |Installing)/ { said = "" }
                       /^E: / { said = said $0 " " } END { printf "%s", said }' "$log")"
        [ -n "$reason" ] || reason="$(tail -n 1 "$log")"
        notes+=("$stage: installing its packages failed: ${reason% }")
        status=1
    else
        FIELDKIT_JUNIT="$junit" bash "$script" 2>&1 | tee -a "$log"
        status=${PIPESTATUS[0]}
        # What a stage says of how it ran ("STAGE: ran ..."), e.g. emulated with tests left out.
        mapfile -t -O "${#notes[@]}" notes < <(grep -E "^$stage: ran " "$log" || true)
    fi
    seconds=$((SECONDS - start))
    passed=0 failed=0 skipped=0 root_only=-
    if [ -f "$junit" ]; then
        counts="$(count_tests "$junit")" || { counts="0 0 0 -"; notes+=("$stage: its report $junit could not be read"); status=1; }
        read -r passed failed skipped root_only <<<"$counts"
    fi
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
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    results+=("$(printf '%-10s %-7s %6d %7d %7d %6ds' "$stage" "$result" "$passed" "$failed" "$skipped" "$seconds")")
done

echo
echo "== Stages =="
printf '%-10s %-7s %6s %7s %7s %7s\n' stage result passed failed skipped time
printf '%s\n' "${results[@]}"
((${#notes[@]} == 0)) || printf '%s\n' "${notes[@]}"
echo "test.sh: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit $any_failed
