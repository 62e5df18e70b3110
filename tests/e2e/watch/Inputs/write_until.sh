#!/bin/sh
# write_until.sh SRC DEST OUT TEXT COUNT: copies SRC over DEST, again every 2 seconds,
# until COUNT lines of OUT hold TEXT (at most 60 seconds). The watcher records a file's
# time after its build, so a write that lands while a build still runs is not seen;
# the next one is.
i=0
while [ $i -lt 30 ]; do
  cp "$1" "$2"
  j=0
  while [ $j -lt 20 ]; do
    n=$(grep -c -F -- "$4" "$3" 2>/dev/null)
    [ "${n:-0}" -ge "$5" ] && exit 0
    sleep 0.1
    j=$((j + 1))
  done
  i=$((i + 1))
done
exit 0
