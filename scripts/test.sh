#!/usr/bin/env bash
# Builds tesk and runs the whole test suite (unit and end-to-end) under ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)" "$@"
