"""Looks at an object store directory.

count DIR   prints the number of entries
added DIR FILE  prints how many entries came since `count` wrote FILE
rotate DIR  gives every entry the content of the next one (by name), as a store whose
            names collide would hold them; needs at least two entries
"""
import os
import sys


def entries(d):
    return sorted(f for f in os.listdir(d) if f.endswith(".entry"))


def main():
    cmd, d = sys.argv[1], sys.argv[2]
    names = entries(d)
    if cmd == "count":
        print("entries: %d" % len(names))
    elif cmd == "added":
        before = int(open(sys.argv[3]).read().split()[1])
        print("added: %d" % (len(names) - before))
    elif cmd == "rotate":
        if len(names) < 2:
            sys.exit("rotate: fewer than two entries")
        data = [open(os.path.join(d, n), "rb").read() for n in names]
        for i, n in enumerate(names):
            with open(os.path.join(d, n), "wb") as f:
                f.write(data[(i + 1) % len(names)])
    else:
        sys.exit("unknown command " + cmd)


main()
