#!/usr/bin/env bash
# Configures build-san/: clang with AddressSanitizer, UndefinedBehaviorSanitizer and the
# fuzzer's coverage instrumentation, so one build serves the sanitizer suite
# (scripts/sanitize.sh) and the fuzz target (scripts/fuzz.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build-san"
[ -f "$dir/build.ninja" ] && exit 0
"$root/scripts/setup.sh"
cxx="$(command -v clang++-14 || command -v clang++)"
flags="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# -O0 compiles a third faster than -O1, which keeps CI short; line tables are all the
# reports' stack traces need.
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESK_FUZZ=ON \
  -DCMAKE_CXX_COMPILER="$cxx" "${launcher[@]}" \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O0 -gline-tables-only -DNDEBUG" "-DCMAKE_CXX_FLAGS=$flags" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
