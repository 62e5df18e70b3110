#!/usr/bin/env bash
# The collector against C with malloc/free (and Go when installed): binary-trees at
# each depth, then live-heap (a tree of two million nodes kept while short-lived trees
# come and go). Tesk runs twice: generational (`tesk`) and with every collection a
# full one (`nogen`). Prints CPU time and peak resident size with the Tesk/C ratios;
# every program must print the same lines as C. DEPTHS overrides "16 18 21",
# LIVE_ROUNDS the live-heap rounds (100000); NURSERIES="1m 8m 32m" adds generational
# rows with those fixed nursery sizes (TESK_GC_NURSERY). Time is CPU time (user + system): wall
# time on a shared machine says little.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tesk="${TESK:-$root/build/tesk}"
out="$root/build/bench"
mkdir -p "$out"
for name in binary_trees live_heap; do
  "$tesk" build "$root/bench/tesk/$name.tesk" -o "$out/${name}_tesk" --release > /dev/null
  cc -O2 -o "$out/${name}_c" "$root/bench/c/$name.c"
done
go_bin=""
if command -v go > /dev/null && [ -f "$root/bench/go/binary_trees.go" ]; then
  go build -o "$out/binary_trees_go" "$root/bench/go/binary_trees.go" && go_bin="$out/binary_trees_go"
fi

# Runs a program once: "seconds peak_kB" on stdout, its output in $out/last.out.
measure() {
  /usr/bin/time -f "%U %S %M" -o "$out/time" "$@" > "$out/last.out"
  awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$out/time"
}

# One benchmark at one size: C first, then Tesk generational, Tesk nogen (and Go).
compare() {
  local name="$1" label="$2" arg="$3"
  read -r c_time c_kb < <(measure "$out/${name}_c" "$arg")
  cp "$out/last.out" "$out/c.out"
  printf "%-14s %-6s %9.2f %10.1f\n" "$label" C "$c_time" "$(echo "$c_kb / 1024" | bc -l)"
  local progs="tesk nogen"
  for size in ${NURSERIES:-}; do progs="$progs n=$size"; done
  [ "$name" = binary_trees ] && [ -n "$go_bin" ] && progs="$progs go"
  for prog in $progs; do
    local bin="$out/${name}_tesk" mode="${TESK_GC:-on}" nursery=""
    [ "$prog" = nogen ] && mode="nogen"
    [ "$prog" = go ] && bin="$go_bin"
    [ "${prog#n=}" != "$prog" ] && nursery="${prog#n=}"
    read -r t kb < <(TESK_GC="$mode" TESK_GC_NURSERY="$nursery" measure "$bin" "$arg")
    if ! cmp -s "$out/c.out" "$out/last.out"; then
      echo "$prog ($label) prints other lines than C:"; diff "$out/c.out" "$out/last.out" || true
      exit 1
    fi
    printf "%-14s %-6s %9.2f %10.1f %9.2f %9.2f\n" "$label" "$prog" "$t" "$(echo "$kb / 1024" | bc -l)" \
      "$(echo "$t / $c_time" | bc -l)" "$(echo "$kb / $c_kb" | bc -l)"
  done
}

printf "%-14s %-6s %9s %10s %9s %9s\n" bench prog "cpu(s)" "peakRSS(MB)" "time/C" "RSS/C"
for depth in ${DEPTHS:-16 18 21}; do
  compare binary_trees "trees $depth" "$depth"
done
compare live_heap "live-heap" "${LIVE_ROUNDS:-100000}"
