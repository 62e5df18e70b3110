"""Runs every program of bench/tesk under collector stress and checks that it prints what
the plain build prints.

Usage: stress_all.py TESK_PLAIN TESK_STRESS BENCH_DIR OUT_DIR

TESK_STRESS builds with the collector's debug build (the stress run's wrapper). Each
program runs with its small input: the words after "// stress run:" in one of its first
lines, or no arguments (every benchmark's default input is its small one).
"""
import concurrent.futures
import os
import subprocess
import sys

MARK = "// stress run:"


def small_args(path):
    with open(path, encoding="utf-8") as f:
        for _, line in zip(range(30), f):
            if line.startswith(MARK):
                return line[len(MARK):].split()
    return []


def build_and_run(tesk, source, exe, args):
    built = subprocess.run([tesk, "build", source, "-o", exe], capture_output=True, text=True)
    if built.returncode != 0:
        return None, "build failed:\n" + built.stdout + built.stderr
    # Bytes: some benchmarks print binary images.
    ran = subprocess.run([exe] + args, capture_output=True, timeout=300)
    return (ran.returncode, ran.stdout, ran.stderr), None


def check(plain, stress, source, out_dir):
    name = os.path.splitext(os.path.basename(source))[0]
    args = small_args(source)
    want, err = build_and_run(plain, source, os.path.join(out_dir, name + ".plain"), args)
    if err:
        return f"{name}: plain {err}"
    got, err = build_and_run(stress, source, os.path.join(out_dir, name + ".stress"), args)
    if err:
        return f"{name}: stress {err}"
    if got != want:
        def text(run):
            out, err = (b.decode("utf-8", "replace")[-2000:] for b in run[1:])
            return f"exit {run[0]}, stdout (end):\n{out}\nstderr (end):\n{err}\n"
        return f"{name} {' '.join(args)}: under stress {text(got)}plain: {text(want)}"
    return None


def main():
    plain, stress, bench_dir, out_dir = sys.argv[1:5]
    os.makedirs(out_dir, exist_ok=True)
    sources = sorted(os.path.join(bench_dir, n) for n in os.listdir(bench_dir) if n.endswith(".tesk"))
    if not sources:
        print(f"no programs in {bench_dir}")
        return 1
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        failures = [f for f in pool.map(lambda s: check(plain, stress, s, out_dir), sources) if f]
    for f in failures:
        print(f)
    print(f"{len(sources) - len(failures)} of {len(sources)} programs print the same under stress")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
