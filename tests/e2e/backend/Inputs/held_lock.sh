#!/bin/bash
# Usage: held_lock.sh TESK DIR LOCKFILE
# Holds the build lock while a build of DIR/app.tesk starts; once the build says that
# it waits, the lock is let go and the build must finish. Prints the build's output
# and its exit code.
tesk=$1 dir=$2 lock=$3
exec 9> "$lock"
flock 9
# The build must not inherit the held descriptor, or it would wait on itself.
"$tesk" build "$dir/app.tesk" -o "$dir/app" -v 9>&- > "$dir/build.out" 2>&1 &
pid=$!
for ((i = 0; i < 400; i++)); do
  grep -q "Waiting for another build" "$dir/build.out" && break
  sleep 0.05
done
# Still waiting: nothing was linked while the lock was held.
grep -q "Compiled in" "$dir/build.out" && echo "built while the lock was held"
exec 9>&-
wait $pid
echo "exit code $?"
cat "$dir/build.out"
