#!/usr/bin/env python3
"""Writes a generated project of realistic code for front-end benchmarks.

Functions with loops, branches, arithmetic and calls, classes with methods,
generic classes and strings; 500 lines a file, 10 files a namespace. Every
function is reached from main so the whole project goes through code
generation. Output is deterministic for a given size.

usage: gen_project.py OUT_DIR LINES
"""
import os
import random
import sys

LINES_PER_FILE = 500
FILES_PER_NS = 10


def class_block(tag):
    return [
        f"+ class Acc{tag} {{",
        "  + total: int",
        "  + count: int",
        "  + name: String",
        "  + fn add(v: int) int {",
        "    this.total = this.total + v",
        "    this.count = this.count + 1",
        "    return this.total",
        "  }",
        "  + fn mean() int {",
        "    if this.count == 0 {",
        "      return 0",
        "    }",
        "    return this.total / this.count",
        "  }",
        "  + fn label() String {",
        "    return this.name + \":\" + this.total + \"/\" + this.count",
        "  }",
        "}",
        f"+ class Pair{tag}[T] {{",
        "  + a: T",
        "  + b: T",
        "  + fn first() T {",
        "    return this.a",
        "  }",
        "  + fn second() T {",
        "    return this.b",
        "  }",
        "}",
    ]


def fn_loop(name, callee, rnd):
    m = rnd.randint(2, 9)
    lines = [
        f"+ fn {name}(n: int, m: int) int {{",
        "  let s = 0",
        "  let i = 0",
        "  while i < n {",
        f"    if i % {m} == 0 {{",
        "      s = s + i * m",
        f"    }} else if i % {m} == 1 {{",
        f"      s = s - m + {rnd.randint(1, 99)}",
        "    } else {",
        "      s = s + (i << 1) - (m >> 1)",
        "    }",
        "    i = i + 1",
        "  }",
    ]
    if callee:
        lines.append(f"  s = s + {callee}(n - 1, m + {rnd.randint(1, 5)})")
    lines += ["  return s", "}"]
    return lines


def fn_class(name, tag, callee, rnd):
    lines = [
        f"+ fn {name}(n: int) String {{",
        f"  let acc = Acc{tag}{{ total: 0, count: 0, name: \"acc{rnd.randint(0, 999)}\" }}",
        f"  let p = Pair{tag}[int]{{ a: n, b: n + {rnd.randint(1, 9)} }}",
        "  let k = 0",
        f"  while k < {rnd.randint(3, 12)} {{",
    ]
    if callee:
        lines.append(f"    acc.add({callee}(k, p.first()))")
    else:
        lines.append("    acc.add(k * p.second())")
    lines += [
        "    k = k + 1",
        "  }",
        "  let t = \"v=\" + acc.mean()",
        f"  if acc.total > {rnd.randint(10, 500)} {{",
        "    t = t + \"!\"",
        "  }",
        "  return t + acc.label()",
        "}",
    ]
    return lines


def fn_text(name, tag, rnd):
    return [
        f"+ fn {name}(words: Array[String]) String {{",
        f"  let ps = Pair{tag}[String]{{ a: \"<\", b: \">\" }}",
        "  let out = ps.first()",
        "  each words as w, i {",
        "    if i > 0 {",
        f"      out = out + \"{rnd.choice([',', ';', '|', ' '])}\"",
        "    }",
        "    out = out + w.to_upper()",
        "  }",
        "  return out + ps.second()",
        "}",
    ]


def gen_file(path, ns, fi, rnd):
    tag = f"{ns}_{fi}"
    lines = class_block(tag)
    int_fns = []
    str_fns = []
    text_fns = []
    k = 0
    # Leave room for the entry function (about 6 lines plus one per function).
    while True:
        kind = rnd.choice(("loop", "loop", "class", "text"))
        name = f"f{tag}_{k}"
        if kind == "loop":
            block = fn_loop(name, int_fns[-1] if int_fns and rnd.random() < 0.6 else None, rnd)
        elif kind == "class":
            block = fn_class(name, tag, int_fns[-1] if int_fns else None, rnd)
        else:
            block = fn_text(name, tag, rnd)
        entry_len = 9 + len(int_fns) + len(str_fns) + len(text_fns) + 1
        if len(lines) + len(block) + entry_len > LINES_PER_FILE:
            break
        lines += block
        {"loop": int_fns, "class": str_fns, "text": text_fns}[kind].append(name)
        k += 1
    lines += [f"+ fn entry{tag}(n: int) int {{", "  let r = 0"]
    for f in int_fns:
        lines.append(f"  r = r + {f}(n, {rnd.randint(1, 7)})")
    for f in str_fns:
        lines.append(f"  r = r + {f}(n).bytes.to(int)")
    lines += ["  let ws = Array[String] {}", "  ws.append(\"a\")", "  ws.append(\"bc\")"]
    for f in text_fns:
        lines.append(f"  r = r + {f}(ws).bytes.to(int)")
    lines += ["  return r", "}"]
    while len(lines) < LINES_PER_FILE:
        lines.append("// filler")
    with open(path, "w") as fh:
        fh.write("\n".join(lines) + "\n")
    return f"entry{tag}"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out, total = sys.argv[1], int(sys.argv[2])
    nfiles = max(1, total // LINES_PER_FILE)
    nns = (nfiles + FILES_PER_NS - 1) // FILES_PER_NS
    rnd = random.Random(14)
    os.makedirs(out, exist_ok=True)
    names = [f"n{i}" for i in range(nns)]
    with open(os.path.join(out, "tesk.json"), "w") as fh:
        fh.write("{\n  \"namespaces\": {\n")
        fh.write(",\n".join(f"    \"{n}\": \"{n}\"" for n in names))
        fh.write("\n  }\n}\n")
    entries = []
    for fi in range(nfiles):
        ns = names[fi // FILES_PER_NS]
        d = os.path.join(out, ns)
        os.makedirs(d, exist_ok=True)
        entries.append((ns, gen_file(os.path.join(d, f"f{fi}.tesk"), ns, fi, rnd)))
    with open(os.path.join(out, "main.tesk"), "w") as fh:
        for n in names:
            fh.write(f"use {n}\n")
        fh.write("fn main() {\n  let r = 0\n")
        for ns, e in entries:
            fh.write(f"  r = r + {ns}:{e}(3)\n")
        fh.write("  println(\"r=\" + r)\n}\n")


if __name__ == "__main__":
    main()
