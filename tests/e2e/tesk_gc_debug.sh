#!/bin/sh
# The compiler as the collector's debug run of the end-to-end tests calls it: every
# build of a program gets the debug build of the collector (collections at every
# TESK_GC_STRESS-th allocation, poisoned free slots, heap checks). The short form
# `tesk file.tesk args` passes every later word to the program, so it stays as it is.
tesk="$1"
shift
case "$1" in
  build) shift; exec "$tesk" build --def GC_DEBUG=1 "$@" ;;
esac
exec "$tesk" "$@"
