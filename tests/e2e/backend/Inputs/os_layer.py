#!/usr/bin/env python3
"""Checks the runtime's system layer in <lib>/libc against the rest of <lib>.

- Every system file (each .tesk of libc but libc.tesk) offers the same `+` names with
  the same signatures, so a runtime call builds for every system.
- Outside libc, runtime files name only `libc:` items that libc.tesk or every system
  file offers with `+`, never a system's own name.
- Outside libc, no `#if`/`#elif` tests OS.
Prints one line per fault and exits 1 when there is any.
"""
import os
import re
import sys

DECL = re.compile(r"^\+\s*(?:extern\s+)?(fn|value)\s+([A-Za-z_]\w*)\s*(.*)$")
USE = re.compile(r"\blibc:([A-Za-z_]\w*)")
OS_TEST = re.compile(r"^\s*#(?:if|elif)\b.*\bOS\b")
PARAM_NAME = re.compile(r"([(,]\s*)[A-Za-z_]\w*\s*:\s*")


def signature(kind, rest):
    """The part of a declaration that callers rely on: parameter and result types."""
    if kind == "value":
        return "value"
    rest = rest.split("{")[0].strip()
    return PARAM_NAME.sub(r"\1", rest)


def offered(path):
    names = {}
    with open(path) as f:
        for line in f:
            m = DECL.match(line)
            if m:
                names[m.group(2)] = signature(m.group(1), m.group(3))
    return names


def main():
    lib = sys.argv[1]
    libc = os.path.join(lib, "libc")
    faults = []
    shared = offered(os.path.join(libc, "libc.tesk"))
    systems = {}
    for name in sorted(os.listdir(libc)):
        if name.endswith(".tesk") and name != "libc.tesk":
            systems[name] = offered(os.path.join(libc, name))
    if not systems:
        faults.append("libc: no system file")
    layer = set.intersection(*(set(s) for s in systems.values())) if systems else set()
    for name, own in systems.items():
        for other, theirs in systems.items():
            for item in sorted(set(theirs) - set(own)):
                faults.append(f"libc/{name}: no `+` {item} (libc/{other} has it)")
        for item in sorted(set(own) & set(shared)):
            faults.append(f"libc/{name}: {item} is shared in libc.tesk already")
    first = next(iter(systems.values()), {})
    for name, own in systems.items():
        for item in sorted(layer):
            if own[item] != first[item]:
                faults.append(f"libc/{name}: {item} {own[item]} differs from {first[item]}")

    for root, _, files in os.walk(lib):
        if os.path.abspath(root).startswith(os.path.abspath(libc)):
            continue
        for file in sorted(files):
            if not file.endswith(".tesk"):
                continue
            path = os.path.join(root, file)
            rel = os.path.relpath(path, lib)
            with open(path) as f:
                for number, line in enumerate(f, 1):
                    code = line.split("//")[0]
                    if OS_TEST.match(code):
                        faults.append(f"{rel}:{number}: tests OS outside the system layer")
                    for m in USE.finditer(code):
                        item = m.group(1)
                        if item not in shared and item not in layer:
                            faults.append(f"{rel}:{number}: libc:{item} is not a layer name")
    for fault in faults:
        print(fault)
    if not faults:
        print(f"layer: {len(shared)} shared, {len(layer)} per system, {len(systems)} systems")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
