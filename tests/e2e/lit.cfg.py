import os
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
config.environment.pop("TERM", None)
for var in ("TERM", "USERPROFILE"):
    if var in os.environ:
        del os.environ[var]

tesk = os.path.join(config.tesk_bin_dir, "tesk")
if gc_stress:
    tesk = os.path.join(config.test_source_root, "tesk_gc_debug.sh") + " " + tesk
    config.environment["TESK_GC"] = "on"
    config.environment["TESK_GC_STRESS"] = gc_stress
    config.available_features.add("gc-debug")
config.substitutions.append(("%tesk", tesk))
config.substitutions.append(("%home", home))
config.substitutions.append(("%FileCheck", os.path.join(config.llvm_bin_dir, "FileCheck")))
config.environment["PATH"] = os.pathsep.join([config.llvm_bin_dir, os.environ.get("PATH", "")])
