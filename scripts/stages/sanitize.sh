#!/usr/bin/env bash
# Stage: the Linux build under AddressSanitizer and UndefinedBehaviorSanitizer, and its suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/build.sh" "$root/build-sanitize" -DBUILD_TESTING=ON -DFIELDKIT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cd "$root/build-sanitize"
ctest --output-on-failure --timeout 600 ${FIELDKIT_JUNIT:+--output-junit "$FIELDKIT_JUNIT"}
