#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the Linux
# build as released, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer, a short run of every fuzz target, the 64-bit
# Windows build under Wine, and the 32-bit Windows build's export tables.
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

echo "== Fuzzing =="
"$root/scripts/fuzz.sh" 20 || status=1

echo "== Windows x86_64: build, and test under Wine =="
"$root/scripts/build.sh" "$root/build-win64" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/x86_64-w64-mingw32.cmake" \
    -DFIELDKIT_HOST_TOOLS_DIR="$root/build"
(
    source "$root/scripts/wine-env.sh"
    trap wine_env_stop EXIT
    wine_env_start "$root/build-win64/wineprefix"
    cd "$root/build-win64" && ctest --output-on-failure --timeout 300
) || status=1

echo "== Windows i686: build, and check the export tables =="
"$root/scripts/build.sh" "$root/build-win32" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/i686-w64-mingw32.cmake"
(cd "$root/build-win32" && ctest --output-on-failure --timeout 300) || status=1

exit $status
