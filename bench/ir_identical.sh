#!/usr/bin/env bash
# Checks that two compilers write byte-identical IR: for every end-to-end test
# source (tests/e2e/**/*.tesk) and for a generated 100k-line project.
#
# usage: bench/ir_identical.sh OLD_TESK NEW_TESK
# Both compilers must have the same lib/ beside them (its path is in the IR).
# Sources that one compiler rejects must be rejected by the other with the same
# output. Lists every source that differs and exits non-zero when any does.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 OLD_TESK NEW_TESK" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
old=$(abs "$1"); new=$(abs "$2")
work=$(mktemp -d /tmp/ir-identical.XXXXXX)
trap 'rm -rf "$work"' EXIT

same=0; diff_count=0
compare() { # label, source file
  local label=$1 src=$2 ir=$work/out.ir o=$work/old.ir n=$work/new.ir
  rm -f "$o" "$n" "$ir"
  # The same output path for both: it is part of the messages.
  (cd "$(dirname "$src")" && "$old" build "$src" --ir --clean --no-warn -o "$ir") > "$work/old.out" 2>&1; local ro=$?
  [ -f "$ir" ] && mv "$ir" "$o"
  (cd "$(dirname "$src")" && "$new" build "$src" --ir --clean --no-warn -o "$ir") > "$work/new.out" 2>&1; local rn=$?
  [ -f "$ir" ] && mv "$ir" "$n"
  # Timings and memory differ from run to run; everything else must match.
  sed -i '/⌚️\|📈\|Cache directory/d' "$work/old.out" "$work/new.out"
  if [ $ro -ne $rn ] || ! cmp -s "$work/old.out" "$work/new.out"; then
    echo "DIFFERENT (messages/exit $ro/$rn): $label"; diff_count=$((diff_count + 1)); return
  fi
  if [ -f "$o" ] || [ -f "$n" ]; then
    if ! cmp -s "$o" "$n"; then
      echo "DIFFERENT IR: $label"; diff_count=$((diff_count + 1)); return
    fi
  fi
  same=$((same + 1))
}

while IFS= read -r f; do
  compare "${f#$here/../}" "$f"
done < <(find "$here/../tests/e2e" -name '*.tesk' | sort)

proj=${BENCH_DIR:-/tmp/tesk-bench}/p100000
[ -f "$proj/main.tesk" ] || python3 "$here/gen_project.py" "$proj" 100000
compare "generated 100k project" "$proj/main.tesk"

echo "identical: $same, different: $diff_count"
[ $diff_count -eq 0 ]
