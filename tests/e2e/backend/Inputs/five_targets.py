#!/usr/bin/env python3
"""Builds hello world and every end-to-end program for the five targets.

    five_targets.py TESK OUT HELLO

Programs: HELLO (hello world) and every Inputs/*.tesk of the end-to-end tests with a
`fn main`, minus those in five_targets/linux_only.txt. A program that does not build
for linux-x64 is an error fixture of its own test and is left out on every target.

For each target and program: the build (with -vv) must reach the link command; the
Linux links must succeed (macOS and Windows fail there for want of their SDKs); and
every undefined symbol of the program's objects must be defined by another of its
objects or be named in five_targets/<system>.txt (that system's own libraries).
HELLO's output goes to OUT/<target>/hello.log for the caller to check.

Builds run in parallel, as many as this process may use cores; the cache directory
under $HOME is kept between runs, so an unchanged unit is not compiled again.
"""
import concurrent.futures
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.dirname(os.path.dirname(HERE))
ROOT = os.path.dirname(os.path.dirname(E2E))
FIXTURES = os.path.join(HERE, "five_targets")
TARGETS = ["linux-x64", "linux-arm64", "macos-x64", "macos-arm64", "win-x64"]
MAIN = re.compile(r"^fn main\b", re.M)
OBJECT = re.compile(r" ([^\s\"-][^\s\"]*\.o)(?= )")


def read_list(path):
    with open(path) as f:
        return {line.split("#")[0].strip() for line in f} - {""}


def programs(hello):
    skip = read_list(os.path.join(FIXTURES, "linux_only.txt"))
    found = [hello]
    for dirpath, dirnames, filenames in os.walk(E2E):
        dirnames.sort()
        if "Inputs" not in os.path.relpath(dirpath, E2E).split(os.sep):
            continue
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            if not name.endswith(".tesk") or os.path.relpath(path, E2E) in skip:
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                if MAIN.search(f.read()):
                    found.append(path)
    return found


def label(path, hello):
    """The output name: "hello", or the program's path below tests/e2e made flat."""
    if path == hello:
        return "hello"
    return os.path.relpath(path, E2E).replace(os.sep, "_")[: -len(".tesk")]


def build(tesk, out, hello, target, program):
    """Returns (program, problem or None, objects)."""
    exe = os.path.join(out, target, label(program, hello))
    r = subprocess.run([tesk, "build", program, "--target", target, "--no-opt", "-o", exe, "-vv"],
                       cwd=os.path.dirname(program), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, text=True, errors="replace")
    if program == hello:
        with open(exe + ".log", "w") as f:
            f.write(r.stdout)
    cmd = next((l for l in r.stdout.splitlines() if l.startswith("# Link cmd: ")), None)
    if cmd is None:
        return program, "no link command (exit %d):\n%s" % (r.returncode, r.stdout[-3000:]), []
    linked = r.returncode == 0
    if target.startswith("linux") and not linked:
        return program, "the link failed:\n" + r.stdout[-3000:], []
    if not linked and "Failed to link" not in r.stdout:
        return program, "failed after the link command:\n" + r.stdout[-3000:], []
    return program, None, OBJECT.findall(cmd + " ")


def undefined(objects, allowed):
    """Undefined symbols of the objects that neither they nor the allow list define."""
    r = subprocess.run(["llvm-nm", "-P", "-A"] + objects, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        return ["llvm-nm failed: " + r.stderr.strip()]
    defined, wanted = set(), {}
    for line in r.stdout.splitlines():
        where, _, rest = line.rpartition(": ")
        fields = rest.split()
        if len(fields) < 2:
            continue
        name, kind = fields[0], fields[1]
        if kind in ("U", "w"):
            wanted.setdefault(name, os.path.basename(where))
        else:
            defined.add(name)
    return sorted("%s (%s)" % (n, o) for n, o in wanted.items() if n not in defined and n not in allowed)


def main():
    tesk, out, hello = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    for t in TARGETS:
        os.makedirs(os.path.join(out, t), exist_ok=True)
    allowed = {t: read_list(os.path.join(FIXTURES, t.split("-")[0] + ".txt")) for t in TARGETS}

    def check(target, program):
        """(program, built at all, problem or None)."""
        _, problem, objects = build(tesk, out, hello, target, program)
        if problem is None:
            left = undefined(objects, allowed[target]) if objects else ["no object files"]
            problem = "undefined symbols: " + ", ".join(left) if left else None
        return program, problem is None or not problem.startswith("no link command"), problem

    failures = []
    counts = dict.fromkeys(TARGETS, 0)

    def note(target, program, problem):
        if problem is None:
            counts[target] += 1
        else:
            failures.append("%s %s: %s" % (target, os.path.relpath(program, ROOT), problem))

    with concurrent.futures.ThreadPoolExecutor(len(os.sched_getaffinity(0))) as pool:
        # A program that does not build natively is an error fixture of its own test;
        # hello world always builds.
        native = []
        for program, built, problem in pool.map(lambda p: check(TARGETS[0], p), programs(hello)):
            if built or program == hello:
                native.append(program)
                note(TARGETS[0], program, problem)
        work = [(t, p) for t in TARGETS[1:] for p in native]
        for (t, _), (program, _, problem) in zip(work, pool.map(lambda w: check(*w), work)):
            note(t, program, problem)
    print("programs: %d" % len(native))
    for t in TARGETS:
        print("%s: %d built, objects checked" % (t, counts[t]))
    for f in failures:
        print("FAIL " + f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
