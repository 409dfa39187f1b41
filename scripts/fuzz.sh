#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a
# fixed time on a copy of its seed corpus (fuzz/corpus/<target>/), so the
# repository's corpus is never written. Fails when any target finds an input
# that breaks a property, crashes or trips a sanitizer; the input is kept
# under build-fuzz/fuzz-run/<target>/ for reproducing.
#
#   scripts/fuzz.sh [seconds per target, default 20] [target...]
# With FIELDKIT_JUNIT set, also writes there a JUnit report with a case a
# target, as ctest's --output-junit does (scripts/test.sh counts from it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
shift || true
dir="$root/build-fuzz"

# Every target has its seed corpus, in a folder named after it.
all_targets=($(cd "$root/fuzz/corpus" && echo *))
targets=("$@")
((${#targets[@]})) || targets=("${all_targets[@]}")

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DFIELDKIT_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
passed=0
failed=0
cases=()
for target in "${targets[@]}"; do
    work="$dir/fuzz-run/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/findings"
    cp "$root/fuzz/corpus/$target/"* "$work/corpus/"
    if "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$work/findings/" "$work/corpus" >"$work/log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
        echo "$target: ${runs:-?} inputs in ${seconds} s, no finding"
        passed=$((passed + 1))
        cases+=("<testcase name=\"$target\" status=\"run\"/>")
    else
        echo "$target: FINDING (log $work/log, input in $work/findings/)"
        grep -E "property does not hold|ERROR|SUMMARY|==[0-9]+==" "$work/log" | head -20 || true
        failed=$((failed + 1))
        cases+=("<testcase name=\"$target\" status=\"fail\"><failure message=\"finding\"/></testcase>")
    fi
done
[ -z "${FIELDKIT_JUNIT:-}" ] ||
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="fuzz" tests="%d" failures="%d">\n%s\n</testsuite>\n' \
        "${#targets[@]}" "$failed" "$(printf '%s\n' "${cases[@]}")" >"$FIELDKIT_JUNIT"
echo "fuzzing: $passed passed, $failed failed"
((failed == 0))
