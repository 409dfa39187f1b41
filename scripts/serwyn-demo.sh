#!/usr/bin/env bash
# Shows the serwyn example talking to a device over a pseudo-terminal pair:
# the stand-in device makes the pair and runs the example with COM3 naming
# the terminal side. Builds nothing: give the build directory (default build/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
examples="$build/serial/examples"

for program in serwyn-peer serwyn-example; do
    if [ ! -x "$examples/$program" ]; then
        echo "serwyn-demo: $examples/$program is missing; build first: scripts/build.sh $build" >&2
        exit 1
    fi
done
exec "$examples/serwyn-peer" "$examples/serwyn-example" "${@:2}"
