#!/usr/bin/env bash
# Builds every benchmark twice (Tesk with --release, C with -O2), checks that both
# print the same bytes, and prints the time of each and the ratio Tesk / C.
# Usage: bench/run.sh [name...]   (sizes: BT_N, FK_N, NB_N, SN_N, MB_N)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tesk="${TESK:-$here/../build/tesk}"
cc="${CC:-cc}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

declare -A size=(
  [binary_trees]="${BT_N:-16}"
  [fannkuch_redux]="${FK_N:-10}"
  [n_body]="${NB_N:-1000000}"
  [spectral_norm]="${SN_N:-1000}"
  [mandelbrot]="${MB_N:-2000}"
)
names=("$@")
[ ${#names[@]} -eq 0 ] && names=(binary_trees fannkuch_redux n_body spectral_norm mandelbrot)

# Seconds taken by a command (its output goes to a file).
seconds() {
  local file="$1"; shift
  local start end
  start=$(date +%s.%N)
  "$@" > "$file"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

printf "%-16s %8s %10s %10s %7s\n" benchmark size "tesk (s)" "c (s)" ratio
status=0
for name in "${names[@]}"; do
  n="${size[$name]:?unknown benchmark: $name}"
  "$tesk" build "$here/tesk/$name.tesk" --release -o "$out/$name.tesk" > "$out/$name.build" 2>&1 \
    || { cat "$out/$name.build"; exit 1; }
  "$cc" -O2 -o "$out/$name.c" "$here/c/$name.c" -lm
  t=$(seconds "$out/$name.tesk.out" "$out/$name.tesk" "$n")
  c=$(seconds "$out/$name.c.out" "$out/$name.c" "$n")
  same=""
  if ! cmp -s "$out/$name.tesk.out" "$out/$name.c.out"; then
    same="  OUTPUT DIFFERS"
    status=1
  fi
  printf "%-16s %8s %10.3f %10.3f %7.2f%s\n" "$name" "$n" "$t" "$c" "$(echo "$t / $c" | bc -l)" "$same"
done
# Without names, also the collector's figures: binary-trees CPU time and peak resident
# size against C at the depths of GC_DEPTHS (default 16 18 21).
if [ $# -eq 0 ]; then
  echo
  DEPTHS="${GC_DEPTHS:-16 18 21}" TESK="$tesk" "$here/gc.sh" || status=1
fi
exit $status
