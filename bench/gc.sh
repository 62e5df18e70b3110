#!/usr/bin/env bash
# binary-trees: the collector against C with malloc/free (and Go when installed).
# Prints CPU time and peak resident size per depth and the Tesk/C ratios; both
# programs must print the same lines. DEPTHS overrides "16 18 21". Time is CPU time
# (user + system): wall time on a shared machine says little.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tesk="${TESK:-$root/build/tesk}"
out="$root/build/bench"
mkdir -p "$out"
"$tesk" build "$root/bench/tesk/binary_trees.tesk" -o "$out/binary_trees_tesk" --release > /dev/null
cc -O2 -o "$out/binary_trees_c" "$root/bench/c/binary_trees.c"
go_bin=""
if command -v go > /dev/null && [ -f "$root/bench/go/binary_trees.go" ]; then
  go build -o "$out/binary_trees_go" "$root/bench/go/binary_trees.go" && go_bin="$out/binary_trees_go"
fi

# Runs a program once: "seconds peak_kB" on stdout, its output in $out/last.out.
measure() {
  /usr/bin/time -f "%U %S %M" -o "$out/time" "$@" > "$out/last.out"
  awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$out/time"
}

printf "%-6s %-6s %9s %10s %9s %9s\n" depth prog "cpu(s)" "peakRSS(MB)" "time/C" "RSS/C"
for depth in ${DEPTHS:-16 18 21}; do
  read -r c_time c_kb < <(measure "$out/binary_trees_c" "$depth")
  cp "$out/last.out" "$out/c.out"
  printf "%-6s %-6s %9.2f %10.1f\n" "$depth" C "$c_time" "$(echo "$c_kb / 1024" | bc -l)"
  progs="tesk"
  [ -n "$go_bin" ] && progs="tesk go"
  for prog in $progs; do
    if [ "$prog" = tesk ]; then bin="$out/binary_trees_tesk"; else bin="$go_bin"; fi
    read -r t kb < <(TESK_GC="${TESK_GC:-on}" measure "$bin" "$depth")
    if ! cmp -s "$out/c.out" "$out/last.out"; then
      echo "$prog at depth $depth prints other lines than C:"; diff "$out/c.out" "$out/last.out" || true
      exit 1
    fi
    printf "%-6s %-6s %9.2f %10.1f %9.2f %9.2f\n" "$depth" "$prog" "$t" "$(echo "$kb / 1024" | bc -l)" \
      "$(echo "$t / $c_time" | bc -l)" "$(echo "$kb / $c_kb" | bc -l)"
  done
done
