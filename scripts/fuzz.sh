#!/usr/bin/env bash
# Fuzzes the front end for SECONDS (default 60) with tests/fuzz/fuzz_build.cpp, built
# with libFuzzer, ASan and UBSan in build-san/. Seeds: every end-to-end input (inputs
# that once crashed stay there as tests, in tests/e2e/fuzz/); what the fuzzer adds is
# kept in build-san/fuzz-corpus/. Any finding fails, its input left in
# build-san/fuzz-findings/. JOBS sets the build's parallelism.
#
# SECONDS bounds the whole run. libFuzzer replays every seed before it watches the
# clock, and one input (a build of the runtime library and the input, sanitized) takes
# about half a second, so each run starts from a fresh random sample of the seeds,
# one per two seconds asked (every input still runs as an end-to-end test).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
dir="$root/build-san"
"$root/scripts/configure_san.sh"
"$root/scripts/ninja_quiet.sh" "$dir" fuzz_build

seeds="$dir/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$dir/fuzz-corpus" "$dir/fuzz-findings"
n=0
while IFS= read -r -d '' f; do
  n=$((n + 1))
  cp "$f" "$seeds/$n.tesk"
done < <(find "$root/tests/e2e" -name '*.tesk' -size -64k -print0 | shuf -z -n $((seconds / 2 + 1)))

# Leaks are not checked per input: the front end keeps per-process tables.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
cd "$dir"
./fuzz_build -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -max_len=4096 \
  -dict="$root/tests/fuzz/tesk.dict" -artifact_prefix="$dir/fuzz-findings/" -print_final_stats=1 \
  "$dir/fuzz-corpus" "$seeds"
