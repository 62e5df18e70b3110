# Writes a program with DEPTH while loops nested in each other, then DEPTH each loops
# nested in each other. Every loop runs once; loop k adds k (while) or 1 (each) to the
# total. With "temp" the innermost while passes a made string to a call (a temporary);
# else the string is made after the loops.
import sys

depth = int(sys.argv[1])
temp = len(sys.argv) > 2 and sys.argv[2] == "temp"
out = ["""class Counter {
    n: uint
    fn _next(i: uint) uint !end {
        if i >= this.n {
            throw end
        }
        return i + 1
    }
}

fn size(s: String) uint {
    return s.bytes
}

fn main() {
    let total: uint = 0
    let chars: uint = 0"""]
ind = "    "
for k in range(depth):
    out.append(f"{ind}let i{k}: uint = 0")
    out.append(f"{ind}while i{k} < 1 {{")
    ind += "    "
    out.append(f"{ind}total += {k}")
if temp:
    out.append(f'{ind}chars += size("ab" + "c")')
for k in reversed(range(depth)):
    out.append(f"{ind}i{k} += 1")
    ind = ind[:-4]
    out.append(f"{ind}}}")
if not temp:
    out.append(f'{ind}chars += size("ab" + "c")')
out.append(f"{ind}let c = Counter{{ n: 1 }}")
for k in range(depth):
    out.append(f"{ind}each c as v{k} {{")
    ind += "    "
    out.append(f"{ind}total += v{k}")
for k in range(depth):
    ind = ind[:-4]
    out.append(f"{ind}}}")
out.append(f'{ind}println("total " + total + " chars " + chars)')
out.append("}")
print("\n".join(out))
