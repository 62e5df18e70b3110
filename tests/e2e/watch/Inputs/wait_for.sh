#!/bin/sh
# wait_for.sh FILE TEXT COUNT: waits, at most 15 seconds, until COUNT lines of FILE hold TEXT.
i=0
while [ $i -lt 150 ]; do
  n=$(grep -c -F -- "$2" "$1" 2>/dev/null)
  [ "${n:-0}" -ge "$3" ] && exit 0
  sleep 0.1
  i=$((i + 1))
done
exit 0
