#!/usr/bin/env bash
# Stage: every fuzz target for a short time.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
exec "$root/scripts/fuzz.sh" 20
