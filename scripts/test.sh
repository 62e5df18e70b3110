#!/usr/bin/env bash
# Builds tesk and runs the whole test suite (unit and end-to-end) under ctest; then
# builds it again with AddressSanitizer and UndefinedBehaviorSanitizer (build-san/),
# runs the whole suite there too and fuzzes the front end for FUZZ_SECONDS (60).
# Any sanitizer report fails. TESK_SANITIZE=0 runs the plain suite only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
start=$(date +%s)
"$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)" "$@")
echo "test.sh: plain build and suite: $(($(date +%s) - start))s" >&2
if [ "${TESK_SANITIZE:-1}" = 0 ]; then exit 0; fi

"$root/scripts/sanitize.sh" "$@"
echo "test.sh: + sanitizer build and suite: $(($(date +%s) - start))s" >&2
"$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-60}"
echo "test.sh: + fuzzing: $(($(date +%s) - start))s" >&2
