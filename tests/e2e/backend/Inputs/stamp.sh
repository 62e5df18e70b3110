#!/bin/sh
# The record of the last build in a private HOME: "mark" dates it back, "replayed"
# holds when a build left it as it was, "rebuilt" when a build wrote it again, "gone"
# when there is none.
stamp=$(find "$1/.tesk/cache" -name build.stamp)
case $2 in
  mark) touch -d 2000-01-01 $stamp ;;
  replayed) [ -n "$stamp" ] && [ -z "$(find $stamp -newermt 2001-01-01)" ] ;;
  rebuilt) [ -n "$stamp" ] && [ -n "$(find $stamp -newermt 2001-01-01)" ] ;;
  gone) [ -z "$stamp" ] ;;
  *) exit 2 ;;
esac
