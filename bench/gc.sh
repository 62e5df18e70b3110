#!/usr/bin/env bash
# The collector against C with malloc/free built by clang -O2: binary-trees at each
# depth (stretch tree in a helper, and in a local of main), live-heap (a tree of two
# million nodes kept while short-lived trees come and go), text-stats (split,
# search and replace over generated text) and few-live (much allocation with 64
# items live, and a peak of a million nodes dropped partway). Tesk runs generational
# (`tesk`) and with every collection a full one (`nogen`).
#
# Every row is the run with the median wall time of RUNS runs (3): its wall time, peak
# resident size and, for Tesk, its longest collection pause (TESK_GC=stats). Within
# one round C and every Tesk variant run one after the other, so that a change in the
# machine's load touches all of them alike. Every program must print the same lines as
# C. Settings: DEPTHS ("16 18 21"), LIVE_ROUNDS (100000), TEXT_LINES (200000),
# FEW_ROUNDS (1000000), FEW_NODES (1000000), RUNS, CPU (a core list for taskset,
# e.g. CPU=6 pins every run there), CC (clang), NURSERIES="1m 8m" adds generational
# rows with those fixed nursery sizes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tesk="${TESK:-$root/build/tesk}"
cc="${CC:-clang}"
runs="${RUNS:-3}"
out="$root/build/bench"
mkdir -p "$out"
for name in binary_trees binary_trees_local live_heap text_stats few_live; do
  "$tesk" build "$root/bench/tesk/$name.tesk" -o "$out/${name}_tesk" --release > /dev/null
  # Both forms of binary-trees have the one C version.
  "$cc" -O2 -o "$out/${name}_c" "$root/bench/c/${name%_local}.c"
done
pin=()
[ -n "${CPU:-}" ] && pin=(taskset -c "$CPU")

# Runs a program once: "seconds peak_kB pause_ns" on stdout (pause "-" without
# figures), its output in $out/last.out.
measure() {
  local start end
  start=$EPOCHREALTIME
  "${pin[@]}" /usr/bin/time -f "%M" -o "$out/time" "$@" > "$out/last.out" 2> "$out/last.err"
  end=$EPOCHREALTIME
  local pause
  pause=$(sed -n 's/.*max pause \([0-9]*\) ns.*/\1/p' "$out/last.err")
  echo "$(echo "$end - $start" | bc -l) $(tail -1 "$out/time") ${pause:--}"
}

# The middle line of the numbers on stdin by their first field.
median() {
  sort -n -k1,1 | awk '{ line[NR] = $0 } END { print line[int((NR + 1) / 2)] }'
}

# One benchmark at one size: rounds of C then each Tesk variant; one row each.
compare() {
  local name="$1" label="$2"
  shift 2
  local progs="c tesk nogen"
  for size in ${NURSERIES:-}; do progs="$progs n=$size"; done
  rm -f "$out"/rows.*
  for ((r = 0; r < runs; r++)); do
    for prog in $progs; do
      local bin="$out/${name}_tesk" mode="stats" nursery=""
      [ "$prog" = c ] && bin="$out/${name}_c"
      [ "$prog" = nogen ] && mode="stats,nogen"
      [ "${prog#n=}" != "$prog" ] && nursery="${prog#n=}"
      TESK_GC="$mode" TESK_GC_NURSERY="$nursery" measure "$bin" "$@" >> "$out/rows.$prog"
      if [ "$prog" = c ]; then
        cp "$out/last.out" "$out/c.out"
      elif ! cmp -s "$out/c.out" "$out/last.out"; then
        echo "$prog ($label) prints other lines than C:"; diff "$out/c.out" "$out/last.out" || true
        exit 1
      fi
    done
  done
  local c_time c_kb c_pause
  read -r c_time c_kb c_pause < <(median < "$out/rows.c")
  for prog in $progs; do
    local t kb pause ms="-"
    read -r t kb pause < <(median < "$out/rows.$prog")
    [ "$pause" != - ] && ms=$(printf "%.2f" "$(echo "$pause / 1000000" | bc -l)")
    printf "%-14s %-6s %9.3f %11.1f %8.2f %8.2f %12s\n" "$label" "$prog" "$t" \
      "$(echo "$kb / 1024" | bc -l)" "$(echo "$t / $c_time" | bc -l)" \
      "$(echo "$kb / $c_kb" | bc -l)" "$ms"
  done
}

printf "%-14s %-6s %9s %11s %8s %8s %12s\n" bench prog "wall(s)" "peakRSS(MB)" "time/C" "RSS/C" "maxpause(ms)"
for depth in ${DEPTHS:-16 18 21}; do
  compare binary_trees "trees $depth" "$depth"
  compare binary_trees_local "trees-local $depth" "$depth"
done
compare live_heap "live-heap" "${LIVE_ROUNDS:-100000}"
compare text_stats "text-stats" "${TEXT_LINES:-200000}"
compare few_live "few-live" "${FEW_ROUNDS:-1000000}" "${FEW_NODES:-1000000}"
