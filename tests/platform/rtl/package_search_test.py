#!/usr/bin/python3
"""A package named without a folder is found where its program's user put it, although
the loading runs inside libvxplatform.so: beside the program first, then in the
program's own library search path (its run path here)."""
import os
import shutil
import subprocess
import sys
import tempfile

BINARY = os.environ["VX_BINARY_DIR"]
PROGRAM = os.path.join(BINARY, "tests", "vx_package_by_name")
RUN_PATH = os.path.join(BINARY, "tests", "package-search")  # the program's DT_RUNPATH
PACKAGES = ["libvxpackage.so", "libgridsift.so"]


def run(folder, failures):
    """Runs a copy of the program from folder; each package's file, by name."""
    program = os.path.join(folder, "client")
    shutil.copy(PROGRAM, program)
    env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
    done = subprocess.run([program, *PACKAGES], capture_output=True, text=True, env=env, timeout=300)
    if done.returncode != 0:
        failures.append("run from %s: %s" % (folder, done.stderr.strip()))
    return dict(line.split(" ", 1) for line in done.stdout.splitlines())


def main():
    shutil.rmtree(RUN_PATH, ignore_errors=True)
    os.makedirs(RUN_PATH)
    for name in PACKAGES + ["libvxplatform.so"]:
        os.symlink(os.path.join(BINARY, name), os.path.join(RUN_PATH, name))
    failures = []
    with tempfile.TemporaryDirectory() as work:
        elsewhere, beside = os.path.join(work, "bin"), os.path.join(work, "app")
        os.makedirs(elsewhere)
        os.makedirs(beside)
        for name in PACKAGES:
            shutil.copy(os.path.join(BINARY, name), beside)
        for folder, expected in ((elsewhere, RUN_PATH), (beside, beside)):
            for name, file in run(folder, failures).items():
                if os.path.dirname(file) != expected:
                    failures.append("%s run from %s loaded %s, not the one in %s" % (name, folder, file, expected))
    shutil.rmtree(RUN_PATH)
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


sys.exit(main())
