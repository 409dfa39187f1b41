#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: Corvane finding a
# dozen simulated devices on a private network of network namespaces.
# Only what the demo needs is installed and built; scripts/test.sh adds the rest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" demo
"$root/scripts/build.sh" "$root/build" -DBUILD_TESTING=OFF
exec bash "$root/scripts/corvane-demo.sh" "$root/build"
