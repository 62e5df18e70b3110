import os
import shutil
import sys
import lit.formats

config.name = "tesk-e2e"
config.test_format = lit.formats.ShTest(execute_external=False)
config.suffixes = [".test", ".tesk"]
config.excludes = ["Inputs", "lit.cfg.py", "lit.site.cfg.py.in"]
config.test_source_root = os.path.dirname(__file__)
config.test_exec_root = os.path.join(config.tesk_bin_dir, "tests", "e2e")
# --param gc_debug=N: every program is built with the collector's debug build and
# collects at every N-th allocation; outputs go to their own directory so both runs
# can go at once.
gc_stress = lit_config.params.get("gc_debug")
if gc_stress:
    config.test_exec_root = os.path.join(config.tesk_bin_dir, "tests", "e2e-gc-debug")

# Deterministic cache paths and log icons: a private HOME and no TERM.
home = os.path.join(config.test_exec_root, "home")
os.makedirs(home, exist_ok=True)
config.environment["HOME"] = home
# Every test builds the runtime library in a project of its own; they share its
# objects through one store per run, which starts empty.
store = os.path.join(config.test_exec_root, "objects")
shutil.rmtree(store, ignore_errors=True)
config.environment["TESK_OBJECT_STORE"] = store
config.environment.pop("TERM", None)
for var in ("TERM", "USERPROFILE"):
    if var in os.environ:
        del os.environ[var]

tesk = os.path.join(config.tesk_bin_dir, "tesk")
# The compiler itself, for tests that compare a stress build with a plain one.
config.substitutions.append(("%tesk_plain", tesk))
if gc_stress:
    # One executable path, as tests pass %tesk on to scripts: it adds the debug build
    # of the collector to every `tesk build`, and to the short form `tesk file.tesk args`
    # through the build command that form stands for.
    wrapper = os.path.join(config.test_exec_root, "bin", "tesk")
    os.makedirs(os.path.dirname(wrapper), exist_ok=True)
    with open(wrapper, "w") as f:
        f.write('#!/bin/sh\n'
                'case "$1" in\n'
                '  build) shift; exec "%s" build --def GC_DEBUG=1 "$@" ;;\n'
                '  *.tesk) file="$1"; shift; exec "%s" build --def GC_DEBUG=1 "$file" --run -- "$@" ;;\n'
                'esac\n'
                'exec "%s" "$@"\n' % (tesk, tesk, tesk))
    os.chmod(wrapper, 0o755)
    tesk = wrapper
    config.environment["TESK_GC"] = "on"
    config.environment["TESK_GC_STRESS"] = gc_stress
    config.available_features.add("gc-debug")
config.substitutions.append(("%tesk", tesk))
config.substitutions.append(("%python", sys.executable))
config.substitutions.append(("%home", home))
# The runtime package beside the compiler, as the compiler names it.
config.substitutions.append(("%rtdir", os.path.realpath(os.path.join(config.tesk_bin_dir, "lib"))))
config.substitutions.append(("%FileCheck", os.path.join(config.llvm_bin_dir, "FileCheck")))
config.environment["PATH"] = os.pathsep.join([config.llvm_bin_dir, os.environ.get("PATH", "")])
