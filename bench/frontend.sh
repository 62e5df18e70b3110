#!/usr/bin/env bash
# Front-end speed and memory on generated projects (bench/gen_project.py).
#
# usage: bench/frontend.sh [TESK] [SIZES...]
#   TESK   compiler to measure (default: build/tesk of this checkout)
#   SIZES  project sizes in lines (default: 10000 100000 1000000)
# Projects are generated once into $BENCH_DIR (default /tmp/tesk-bench).
#
# Prints per size: front-end lines/s (the -v line "Parse AST & Generate IR" over
# "LOC in files"), peak memory per line (/usr/bin/time %M of `tesk build --ir`),
# and the wall time of a rebuild with nothing changed. The front end is timed RUNS times
# (default 5); the median is reported, the best beside it: timings on a shared virtual
# machine swing by tens of percent from run to run.
#
# Profile (linux-perf):
#   perf record -g -o /tmp/tesk.perf -- build/tesk build $BENCH_DIR/p100000/main.tesk \
#       --ir --clean -o /tmp/tesk-bench.ir
#   perf report -i /tmp/tesk.perf --no-children --percent-limit 1
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tesk=${1:-$here/../build/tesk}
tesk=$(cd "$(dirname "$tesk")" && pwd)/$(basename "$tesk")
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
dir=${BENCH_DIR:-/tmp/tesk-bench}
mkdir -p "$dir"

printf '%-9s %11s %9s %12s %12s %10s %12s %10s\n' lines "LOC files" "front s" "lines/s" "best lines/s" "peak MB" \
  "bytes/line" "rebuild s"
for n in "${sizes[@]}"; do
  proj=$dir/p$n
  [ -f "$proj/main.tesk" ] || python3 "$here/gen_project.py" "$proj" "$n"
  log=$dir/ir-$n.log
  fronts=()
  peak=0
  for _ in $(seq "${RUNS:-5}"); do
    /usr/bin/time -f 'PEAK %M' -o "$dir/time-$n" \
      "$tesk" build "$proj/main.tesk" --ir --clean -v -o "$dir/out-$n.ir" > "$log" 2>&1
    fronts+=("$(sed -n 's/.*Parse AST & Generate IR: \([0-9.]*\)s.*/\1/p' "$log")")
    p=$(sed -n 's/^PEAK //p' "$dir/time-$n")
    [ "$p" -gt "$peak" ] && peak=$p
  done
  sorted=($(printf '%s\n' "${fronts[@]}" | sort -n))
  front=${sorted[$(( ${#sorted[@]} / 2 ))]}
  best=${sorted[0]}
  loc=$(sed -n 's/.*LOC in files: \([0-9]*\).*/\1/p' "$log")
  # Rebuild with nothing changed: one full build to fill the cache, then time the second.
  "$tesk" build "$proj/main.tesk" --no-opt -o "$dir/app-$n" > /dev/null 2>&1
  t0=$(date +%s.%N)
  "$tesk" build "$proj/main.tesk" --no-opt -o "$dir/app-$n" > /dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v n="$n" -v loc="$loc" -v f="$front" -v b="$best" -v p="$peak" -v t0="$t0" -v t1="$t1" 'BEGIN {
    printf "%-9s %11d %9.2f %12.0f %12.0f %10.0f %12.0f %10.2f\n", n, loc, f, (f > 0 ? loc / f : 0),
      (b > 0 ? loc / b : 0), p / 1024, p * 1024 / loc, t1 - t0 }'
done
