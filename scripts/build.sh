#!/usr/bin/env bash
# Set-up, configure and build; the executable lands in build/tesk with lib/ beside it.
# Arguments name the targets (default: all, unit tests included). Ninja's lines show
# only when something was rebuilt or the build failed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
if [ ! -f "$root/build/build.ninja" ]; then
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
exec "$root/scripts/ninja_quiet.sh" "$root/build" "$@"
