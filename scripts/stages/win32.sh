#!/usr/bin/env bash
# Stage: the 32-bit Windows build and the checks of its export tables.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/build.sh" "$root/build-win32" -DBUILD_TESTING=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/i686-w64-mingw32.cmake"
cd "$root/build-win32"
ctest --output-on-failure --timeout 300
