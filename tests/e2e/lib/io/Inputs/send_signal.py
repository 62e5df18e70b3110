#!/usr/bin/env python3
"""send_signal.py [--ignore NAME] SIGNALS OUT PROGRAM: runs PROGRAM with a ready-file
argument and its standard output in OUT, with SIGINT and SIGTERM at their default
action (test runners ignore SIGINT) but for the one named after --ignore; once it made
that file, sends it each of SIGNALS (like INT,TERM), half a second apart while it
runs; prints how it ended."""
import os
import signal
import subprocess
import sys
import time

args = sys.argv[1:]
ignore = None
if args[0] == "--ignore":
    ignore = getattr(signal, "SIG" + args[1])
    args = args[2:]
names, out, program = args


def start():
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, signal.SIG_IGN if sig == ignore else signal.SIG_DFL)


ready = out + ".ready"
if os.path.exists(ready):
    os.remove(ready)
with open(out, "w") as f:
    proc = subprocess.Popen([program, ready], stdout=f, preexec_fn=start)
    deadline = time.time() + 20
    while not os.path.exists(ready) and proc.poll() is None and time.time() < deadline:
        time.sleep(0.01)
    for name in names.split(","):
        if proc.poll() is not None:
            break
        proc.send_signal(getattr(signal, "SIG" + name))
        try:
            proc.wait(timeout=0.5)
        except subprocess.TimeoutExpired:
            pass
    code = proc.wait()
print("ended by signal %d" % -code if code < 0 else "exit %d" % code)
