#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice:
# once as built for release, once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

status=0
echo "== Build and test =="
"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure --timeout 300) || status=1

echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer =="
"$root/scripts/build.sh" "$root/build-sanitize" -DFIELDKIT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd "$root/build-sanitize" && ctest --output-on-failure --timeout 600) || status=1

exit $status
