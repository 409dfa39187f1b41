#!/usr/bin/env bash
# Configures and builds into the directory given (default build/).
# Extra arguments go to cmake's configure step, whose output is kept in
# DIR/configure.log: shown in full when configuring fails; the project's notes
# on what it leaves out of the build, and CMake's warnings, are shown always.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
mkdir -p "$dir"
log="$dir/configure.log"
if ! cmake -S "$root" -B "$dir" "$@" >"$log" 2>&1; then
    echo "build.sh: configuring $dir failed:" >&2
    cat "$log" >&2
    exit 1
fi
# The project's own notes ("Corvane: ...; the Qt front end is not built") and CMake's warnings.
grep -E '^-- [A-Za-z0-9_-]+: |^CMake Warning' "$log" | sed "s|^-- |build.sh: $(basename "$dir"): |" >&2 || true
cmake --build "$dir" -j "$(nproc)"
