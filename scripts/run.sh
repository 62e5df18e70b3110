#!/usr/bin/env bash
# Builds tesk if needed (the compiler only, not its tests), then runs it with the
# given arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" tesk
if [ $# -eq 0 ]; then set -- version; fi
exec "$root/build/tesk" "$@"
