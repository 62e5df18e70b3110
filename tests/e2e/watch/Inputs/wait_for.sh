#!/bin/sh
# wait_for.sh FILE TEXT COUNT: waits, at most 60 seconds, until COUNT lines of FILE hold TEXT.
# The wait ends as soon as the text is there; the bound is for a sanitizer build on a
# loaded machine, whose first build can take well over ten seconds.
i=0
while [ $i -lt 600 ]; do
  n=$(grep -c -F -- "$2" "$1" 2>/dev/null)
  [ "${n:-0}" -ge "$3" ] && exit 0
  sleep 0.1
  i=$((i + 1))
done
exit 0
