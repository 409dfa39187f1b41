#!/usr/bin/env bash
# Stage: the 64-bit Windows build, its suite under a private Wine.
# Its tests talk to the simulators of the Linux stage's build.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
[ -x "$root/build/tools/qarn-readersim/qarn-readersim" ] || {
    echo "win64: the Linux build's simulators are missing (the linux stage builds them)" >&2
    exit 1
}
"$root/scripts/build.sh" "$root/build-win64" -DBUILD_TESTING=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/x86_64-w64-mingw32.cmake" \
    -DFIELDKIT_HOST_TOOLS_DIR="$root/build"
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "$root/build-win64/wineprefix"
cd "$root/build-win64"
# Every failure fails the stage; nothing is run again.
ctest --output-on-failure --timeout 300 ${FIELDKIT_JUNIT:+--output-junit "$FIELDKIT_JUNIT"}
