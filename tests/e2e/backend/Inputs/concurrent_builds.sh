#!/bin/bash
# Usage: concurrent_builds.sh TESK DIR PAIRS
# Builds DIR/app.tesk twice at the same time with --clean, PAIRS times; every build
# must succeed and the program must run. Prints one line per pair.
tesk=$1 dir=$2 pairs=$3
for ((i = 1; i <= pairs; i++)); do
  "$tesk" build "$dir/app.tesk" -o "$dir/app" --clean > "$dir/a.out" 2>&1 &
  a=$!
  "$tesk" build "$dir/app.tesk" -o "$dir/app" --clean > "$dir/b.out" 2>&1
  b_code=$?
  wait $a
  a_code=$?
  run=$("$dir/app")
  echo "pair $i: $a_code $b_code $run"
  if [[ $a_code != 0 || $b_code != 0 ]]; then cat "$dir/a.out" "$dir/b.out"; fi
done
