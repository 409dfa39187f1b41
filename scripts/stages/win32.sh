#!/usr/bin/env bash
# Stage: the 32-bit Windows build, its export tables and its suite under a
# private 32-bit Wine. Its tests talk to the simulators of the Linux stage's
# build. Where the kernel runs no 32-bit programs, qemu-i386 is registered
# with binfmt_misc for this stage only and removed at its end, also on failure
# (scripts/wine-env.sh); a machine that can do neither fails the stage and
# says why.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
[ -x "$root/build/tools/qarn-readersim/qarn-readersim" ] || {
    echo "win32: the Linux build's simulators are missing (the linux stage builds them)" >&2
    exit 1
}
source "$root/scripts/wine-env.sh"
[ -x "$WINE_LOADER_32" ] || {
    echo "win32: no 32-bit Wine at $WINE_LOADER_32 (scripts/install-deps.sh installs wine32:i386)" >&2
    exit 1
}
"$root/scripts/build.sh" "$root/build-win32" -DBUILD_TESTING=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/i686-w64-mingw32.cmake" \
    -DFIELDKIT_HOST_TOOLS_DIR="$root/build"
# A build without the emulator would run only the checks of the built files.
grep -qx "FIELDKIT_WINE:FILEPATH=$WINE_LOADER_32" "$root/build-win32/CMakeCache.txt" || {
    echo "win32: the build found no 32-bit Wine loader; its tests would not run" >&2
    exit 1
}
trap wine_env_stop EXIT
started=$SECONDS
wine_env_start32 "$root/build-win32/wineprefix"
echo "win32: the 32-bit Wine prefix was ready after $((SECONDS - started)) s"
left_out=()
if wine_env_i386_emulated; then
    # Emulated, every Wine process takes tens of seconds: the window tests,
    # which start one for each look at the window, would run past their limits.
    left_out=(-E 'corvane_win32_(end_to_end|two_interfaces|flood)_in_namespaces')
    echo "win32: 32-bit programs run emulated here (qemu-i386); Corvane.exe's window tests are left out" \
        "(docs/windows.md gives the command that runs them)"
fi
cd "$root/build-win32"
# Every failure fails the stage. Only a program that Wine failed to start is
# run again, by the build's emulator (scripts/wine-run.sh), which logs it here.
retries="$root/build-win32/wine-retries.log"
: >"$retries"
status=0
ctest --output-on-failure --timeout 600 "${left_out[@]}" || status=$?
wine_env_report_reruns win32 "$retries" || status=1
exit "$status"
