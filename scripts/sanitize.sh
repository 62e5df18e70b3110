#!/usr/bin/env bash
# Builds tesk, its unit tests and the fuzz target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-san/ (LLVM itself is not instrumented), then runs
# the whole suite there. The first report ends the process with an error, so it fails
# the test that met it. JOBS sets the build's parallelism. --build-only stops after
# the build, --no-build runs the suite on the build as it is; other arguments go to
# ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build-san"
build=1
suite=1
case "${1:-}" in
  --build-only) suite=0; shift ;;
  --no-build) build=0; shift ;;
esac
if [ "$build" = 1 ]; then
  "$root/scripts/configure_san.sh"
  "$root/scripts/ninja_quiet.sh" "$dir" all fuzz_build
fi
[ "$suite" = 1 ] || exit 0
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
# The watcher's end-to-end tests give each rebuild a few seconds, which a sanitizer
# build at -O0 on a loaded machine does not always meet; the plain suite runs them, and
# the watcher's unit tests run here. The five-target build of every program checks the
# library's objects per system, not the compiler's memory: the plain suite runs it.
export LIT_FILTER_OUT="${LIT_FILTER_OUT:-:: watch/|:: backend/five_targets}"
cd "$dir"
ctest --output-on-failure -j"$(nproc)" "$@"
