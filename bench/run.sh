#!/usr/bin/env bash
# Builds every benchmark twice (Tesk with --release, C with clang -O2), checks that
# both print the same bytes, and prints the median wall time and peak resident size of
# each with the ratios Tesk / C. Tesk and C run alternately, ROUNDS times each (at
# least 3), so a load that comes and goes hits both alike.
# Usage: bench/run.sh [name...]
#   sizes: FK_N, NB_N, SN_N, MB_N; binary-trees depths: BT_DEPTHS (default "16 18 21")
#   ROUNDS (default 3), PIN: cores for taskset (e.g. PIN=7), CLANG (default clang),
#   TESK: the compiler (default build/tesk).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tesk="${TESK:-$here/../build/tesk}"
clang="${CLANG:-clang}"
rounds="${ROUNDS:-3}"
[ "$rounds" -ge 3 ] || { echo "ROUNDS must be at least 3" >&2; exit 2; }
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
pin=()
[ -n "${PIN:-}" ] && pin=(taskset -c "$PIN")

declare -A size=(
  [fannkuch_redux]="${FK_N:-11}"
  [n_body]="${NB_N:-10000000}"
  [spectral_norm]="${SN_N:-3000}"
  [mandelbrot]="${MB_N:-4000}"
  [binary_trees]="${BT_DEPTHS:-16 18 21}"
  [binary_trees_local]="${BT_DEPTHS:-16 18 21}"
)
# The C program each Tesk benchmark is compared with.
declare -A c_of=([binary_trees_local]=binary_trees)
names=("$@")
[ ${#names[@]} -eq 0 ] && names=(fannkuch_redux n_body spectral_norm mandelbrot binary_trees binary_trees_local)

# Runs a program once, output to a file: "wall_seconds peak_kB".
run_once() {
  local file="$1"; shift
  local start end
  start=$(date +%s%N)
  "${pin[@]}" /usr/bin/time -f "%M" -o "$out/rss" "$@" > "$file"
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(tail -1 "$out/rss")"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf "%-19s %5s %9s %9s %6s %10s %10s %6s\n" benchmark size "tesk(s)" "c(s)" wall "tesk(MB)" "c(MB)" rss
status=0
for name in "${names[@]}"; do
  sizes="${size[$name]:?unknown benchmark: $name}"
  cname="${c_of[$name]:-$name}"
  "$tesk" build "$here/tesk/$name.tesk" --release -o "$out/$name.tesk" > "$out/$name.build" 2>&1 \
    || { cat "$out/$name.build"; exit 1; }
  "$clang" -O2 -o "$out/$name.c" "$here/c/$cname.c" -lm
  for n in $sizes; do
    : > "$out/t.times"; : > "$out/c.times"
    for ((r = 0; r < rounds; r++)); do
      run_once "$out/t.out" "$out/$name.tesk" "$n" >> "$out/t.times"
      run_once "$out/c.out" "$out/$name.c" "$n" >> "$out/c.times"
    done
    same=""
    if ! cmp -s "$out/t.out" "$out/c.out"; then
      same="  OUTPUT DIFFERS"
      status=1
    fi
    tw=$(cut -d' ' -f1 "$out/t.times" | median)
    cw=$(cut -d' ' -f1 "$out/c.times" | median)
    tk=$(cut -d' ' -f2 "$out/t.times" | median)
    ck=$(cut -d' ' -f2 "$out/c.times" | median)
    awk -v name="$name" -v n="$n" -v tw="$tw" -v cw="$cw" -v tk="$tk" -v ck="$ck" -v same="$same" \
      'BEGIN { printf "%-19s %5s %9.3f %9.3f %6.2f %10.1f %10.1f %6.2f%s\n", name, n, tw / 1e6, cw / 1e6,
               tw / cw, tk / 1024, ck / 1024, tk / ck, same }'
  done
done
exit $status
