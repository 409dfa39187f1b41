#!/usr/bin/env bash
# Stage: the Linux build as released, with the package test, and its whole suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/build.sh" "$root/build" -DBUILD_TESTING=ON
cd "$root/build"
ctest --output-on-failure --timeout 300 ${FIELDKIT_JUNIT:+--output-junit "$FIELDKIT_JUNIT"}
