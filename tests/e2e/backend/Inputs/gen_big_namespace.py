# Usage: gen_big_namespace.py N. Prints a program of N functions, each about ten
# lines, and a `main` that calls every one and checks the sum of their results.
import sys

n = int(sys.argv[1])
out = []
for i in range(n):
    out += [
        f"fn f{i}(x: int) int {{",
        f"    let a = x + {i}",
        "    let b = a * 2",
        "    if b < 0 {",
        "        return 0",
        "    }",
        "    let c = b - a",
        "    let d = c + x",
        "    return d",
        "}",
    ]
out.append("fn main() {")
out.append("    let sum = 0")
out += [f"    sum += f{i}({i})" for i in range(n)]
expected = 3 * n * (n - 1) // 2
out.append(f"    if sum == {expected} {{")
out.append(f'        println("sum of {n} calls ok")')
out.append("    } else {")
out.append('        println("wrong sum")')
out.append("    }")
out.append("}")
print("\n".join(out))
