#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: Corvane finding a
# dozen simulated devices on a private network of network namespaces.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
exec bash "$root/scripts/corvane-demo.sh" "$root/build"
