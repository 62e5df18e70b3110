# nested.py N MODE: a program whose main holds closures nested N deep.
# MODE "inner": one type error in the innermost closure; "each": one at every level as
# well (after the closure it holds); "ok": no error, the program prints 1 + N.
import sys

n, mode = int(sys.argv[1]), sys.argv[2]
lines = ["fn main() {", "    let v = 1"]
ind = "    "
for i in range(n):
    lines.append(ind + "let f%d = fn(a: int) int {" % i)
    ind += "    "
lines.append(ind + ("let e: int = 0" if mode == "ok" else 'let e: int = "s"'))
lines.append(ind + "return a + v + e")
for i in reversed(range(n)):
    ind = ind[:-4]
    lines.append(ind + "}")
    if mode == "each":
        lines.append(ind + 'let g%d: int = "s"' % i)
    lines.append(ind + ("return f%d(a) + 1" % i if i > 0 else 'println("%{f0(1)}")'))
lines.append("}")
sys.stdout.write("\n".join(lines) + "\n")
