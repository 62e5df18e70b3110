#!/usr/bin/env bash
# Set-up, configure and build; the executable lands in build/tesk with lib/ beside it.
# Arguments name the targets (default: all, unit tests included). Ninja's lines show
# only when something was rebuilt or the build failed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
if [ ! -f "$root/build/build.ninja" ]; then
  flags=()
  # CI reads test results, not a debugger: without debug info the build takes a third
  # less, with the same optimisation.
  if [ "${CI:-}" = true ]; then flags=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"); fi
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
fi
exec "$root/scripts/ninja_quiet.sh" "$root/build" "$@"
