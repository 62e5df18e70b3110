"""Reference model of map_ops.tesk: same generator, a dict (insertion-ordered) as the
map; checks every line of the program's transcript on stdin."""
import sys

MASK = (1 << 64) - 1


class Rng:
    def __init__(self, s):
        self.s = s

    def next(self):
        self.s = (self.s * 6364136223846793005 + 1442695040888963407) & MASK
        return self.s >> 33


def expected(rng, ops, rng_range, text_keys):
    m = {}
    out = []
    for _ in range(ops):
        op = rng.next() % 4
        n = rng.next() % rng_range
        key = "k%d" % n if text_keys else n - rng_range // 2
        if op == 0:
            m[key] = rng.next() % 1000000
        elif op == 1:
            out.append(str(m[key]) if key in m else "-")
        elif op == 2:
            out.append("1" if m.pop(key, None) is not None else "0")
        else:
            out.append("1" if key in m else "0")
    out.append("length %d" % len(m))
    out.extend("%s=%d" % (k, v) for k, v in m.items())
    return out


def main():
    got = sys.stdin.read().split("\n")
    if got and got[-1] == "":
        got.pop()
    ops = 1000000
    rng = Rng(20261210)
    want = ["ints %d" % ops] + expected(rng, ops, 20000, False)
    want += ["strings %d" % ops] + expected(rng, ops, 5000, True)
    for i, (w, g) in enumerate(zip(want, got)):
        if w != g:
            print("line %d: expected %r, got %r" % (i + 1, w, g))
            sys.exit(1)
    if len(want) != len(got):
        print("expected %d lines, got %d" % (len(want), len(got)))
        sys.exit(1)
    print("map model agrees: %d lines" % len(want))


main()
