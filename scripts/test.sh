#!/usr/bin/env bash
# Builds tesk and runs the whole test suite (unit and end-to-end) under ctest; then
# builds it again with AddressSanitizer and UndefinedBehaviorSanitizer (build-san/),
# runs the whole suite there too and fuzzes the front end for FUZZ_SECONDS (60).
# Any sanitizer report fails. TESK_SANITIZE=0 runs the plain suite only. Each stage's
# time and the total go to stderr at the end, also when a stage failed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
start=$(date +%s)
times=()
report() {
  for t in "${times[@]}"; do echo "test.sh: $t" >&2; done
  echo "test.sh: total $(($(date +%s) - start))s" >&2
}
trap report EXIT
stage() {
  local name="$1" t0
  shift
  t0=$(date +%s)
  "$@"
  times+=("$(printf '%-16s %5ss' "$name" $(($(date +%s) - t0)))")
}
plain_suite() { (cd "$root/build" && ctest --output-on-failure -j"$(nproc)" "$@"); }

stage "plain build" "$root/scripts/build.sh"
stage "plain suite" plain_suite "$@"
if [ "${TESK_SANITIZE:-1}" = 0 ]; then exit 0; fi
stage "sanitizer build" "$root/scripts/sanitize.sh" --build-only
stage "sanitizer suite" "$root/scripts/sanitize.sh" --no-build "$@"
stage "fuzzing" "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-60}"
