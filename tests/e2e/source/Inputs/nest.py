# Builds programs that nest one construct just below and just above the nesting limit:
#   python3 nest.py TESK WORKDIR
# Each case must build at its first depth and fail at its second with the nesting error.
# One level more than the construct's own count comes from the function body (blocks)
# or the statement's value (values); "else if" has both, a macro expansion here opens
# two value levels (its use and the "return" of its body).
import os
import subprocess
import sys

MESSAGE = "# Error: Nesting too deep (more than 1000 levels)"


def body(code):
    return "fn main() {\n" + code + "\n}\n"


def macros(n):
    # m0 .. m(n-1), each expanding to the next one.
    lines = ["macro m%d V:a <{ return m%d a }" % (i, i + 1) for i in range(n - 1)]
    lines.append("macro m%d V:a <{ return a }" % (n - 1))
    return "\n".join(lines) + "\n" + body("let x = m0 1")


def program(kind, n):
    kinds = {
    "group": lambda: body("let x = " + "(" * n + "1" + ")" * n),
    "not": lambda: body("let x = " + "! " * n + "true"),
    "call": lambda: "fn id(a: int) int { return a }\n" + body("let x = " + "id(" * n + "1" + ")" * n),
    "ternary": lambda: body("let x = " + "true ? 1 : " * n + "2"),
    "interpolation": lambda: body("let s = " + '"%{' * n + '"x"' + '}"' * n),
    "value_scope": lambda: body("let x = " + "<{ return " * n + "1" + " }" * n),
    "block": lambda: body("{" * n + "}" * n),
    "if": lambda: body("if true {\n" * n + "}\n" * n),
    "else_if": lambda: body("let x = 1\nif x == 0 {\n}" + " else if x == 1 {\n}" * n),
    "closure": lambda: body("let f = fn() {\n" * n + "}\n" * n),
    "type_generic": lambda: "struct Box[T] {\n    v: T\n}\nglobal g : " + "Box[" * n + "u8" + "]" * n + " (null)\n"
    + body(""),
    "type_nullable": lambda: "global g : " + "? " * n + "u8\n" + body(""),
    "type_pointer": lambda: "global g : " + "*" * n + "u8\n" + body(""),
    "type_fixed": lambda: "global g : " + "[" * n + "u8" + " x 1]" * n + "\n" + body(""),
    "type_angle": lambda: "global g : " + "< " * n + "u8" + " >" * n + "\n" + body(""),
    "macro": lambda: macros(n),
    "condition_and": lambda: "#if " + " && ".join(["OS == linux"] * n) + "\n#end\n" + body(""),
    "condition_not": lambda: "#if " + "! " * n + "OS == linux\n#end\n" + body(""),
    }
    return kinds[kind]()


# kind, deepest that builds, shallowest that fails (None: no limit, reading is iterative)
CASES = [
    ("group", 999, 1000),
    ("not", 999, 1000),
    ("call", 999, 1000),
    ("ternary", 999, 1000),
    ("interpolation", 997, 998),
    ("value_scope", 999, 1000),
    ("block", 999, 1000),
    ("if", 999, 1000),
    ("else_if", 998, 999),
    ("closure", 999, 1000),
    ("type_generic", 999, 1000),
    ("type_nullable", 999, 1000),
    ("type_pointer", 999, 1000),
    ("type_fixed", 999, 1000),
    ("type_angle", 999, 1000),
    ("macro", 499, 500),
    ("condition_and", 100000, None),
    ("condition_not", 100000, None),
]


def build(tesk, workdir, kind, n):
    src = os.path.join(workdir, "%s_%d.tesk" % (kind, n))
    with open(src, "w") as f:
        f.write(program(kind, n))
    r = subprocess.run([tesk, "build", src, "--ir", "-o", os.path.join(workdir, "out.ll")],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return r.returncode, r.stdout


def main():
    tesk, workdir = sys.argv[1], sys.argv[2]
    os.makedirs(workdir, exist_ok=True)
    failures = 0
    for kind, ok, bad in CASES:
        code, out = build(tesk, workdir, kind, ok)
        if code != 0:
            print("FAIL %s at %d should build (exit %d):\n%s" % (kind, ok, code, out[-2000:]))
            failures += 1
        if bad is None:
            continue
        code, out = build(tesk, workdir, kind, bad)
        if code != 1 or MESSAGE not in out.splitlines():
            print("FAIL %s at %d should fail with the nesting error (exit %d):\n%s" % (kind, bad, code, out[-2000:]))
            failures += 1
    print("%d cases, %d failures" % (len(CASES), failures))
    sys.exit(1 if failures else 0)


main()
