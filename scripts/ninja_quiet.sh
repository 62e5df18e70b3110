#!/usr/bin/env bash
# ninja_quiet.sh DIR [TARGET...]: builds with ninja on every core (JOBS overrides) and
# passes ninja's lines on to stderr only when it failed or made something; the steps
# that run on every build (the glob check, the runtime package's crt links) do not count.
set -uo pipefail
dir="$1"
shift
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! ninja -C "$dir" -j"${JOBS:-$(nproc)}" "$@" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
if grep -v -e '^ninja: ' -e 'Re-checking globbed directories' -e 'runtime_crt\.cmake' "$log" | grep -q .; then
  cat "$log" >&2
fi
exit 0
