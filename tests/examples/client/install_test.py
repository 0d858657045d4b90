#!/usr/bin/python3
"""Client programs outside the tree: `cmake --install` gives the three libraries, the
headers (each finding the headers it includes, none of the platform's internal ones
among them) and the CMake package; the example client (warning-free at -Wall -Wextra
-Werror), a program that calls the packages' API and one that links the platform
library alone build from that installed tree as projects of their own, link the .so
files (and no part of the tree) and run headless. The last loads the packages by bare
name through its run path (the installed lib folder), or beside itself first."""
import os
import re
import shutil
import sys

SOURCE = os.environ["VX_SOURCE_DIR"]
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from outside_build import BINARY, build, install, run  # noqa: E402

# Fixed folders, so that a compiler cache knows the builds again.
WORK = os.path.join(BINARY, "tests", "outside-client")
LIB = os.path.join(WORK, "prefix", "lib")
PACKAGES = ["libvxpackage.so", "libgridsift.so"]
ALL = set(PACKAGES) | {"libvxplatform.so"}


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    prefix = os.path.dirname(LIB)
    install(prefix)
    client, api, beside = (os.path.join(WORK, n) for n in ("client", "api", "beside"))
    # The example is a client's own code: not a warning in it.
    build(os.path.join(SOURCE, "examples", "client"), client, prefix, "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Werror")
    build(os.path.join(SOURCE, "tests", "examples", "client", "outside"), api, prefix)
    os.makedirs(beside)
    for file in [os.path.join(LIB, name) for name in PACKAGES] + [os.path.join(api, "load_by_name")]:
        shutil.copy(file, beside)

    # Every header installed finds the headers it includes among those installed.
    problems = []
    include = os.path.join(os.path.dirname(LIB), "include", "vxsystem")
    for folder, _, names in os.walk(include):
        for name in names:
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                for wanted in re.findall(r'^\s*#\s*include\s+"([^"]+)"', f.read(), re.M):
                    if not os.path.isfile(os.path.join(include, wanted)):
                        problems.append("%s includes %s, which is not installed" % (name, wanted))
    links = {os.path.join(client, "bizclient"): ALL, os.path.join(api, "api_client"): ALL,
             os.path.join(api, "load_by_name"): {"libvxplatform.so"}}
    for program, expected in links.items():
        needed = {line.split("[")[1].rstrip("]") for line in run("readelf", "-d", program).stdout.splitlines()
                  if "(NEEDED)" in line}
        if needed & ALL != expected:
            problems.append("%s links %s" % (program, sorted(needed & ALL)))

    env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
    env.update(VX_HEADLESS="1", LSAN_OPTIONS="suppressions=" + os.path.join(SOURCE, "scripts", "lsan.supp"))
    for folder, expected in ((api, LIB), (beside, beside)):
        done = run(os.path.join(folder, "load_by_name"), *PACKAGES, check=False, env=env)
        files = dict(line.split(" ", 1) for line in done.stdout.splitlines())
        if done.returncode != 0 or any(os.path.dirname(files.get(p, "")) != expected for p in PACKAGES):
            problems.append("run from %s, not all from %s: %s%s" % (folder, expected, files, done.stderr))

    picture, script = os.path.join(client, "form.png"), os.path.join(client, "script.txt")
    with open(script, "w") as f:
        f.write("shot frmClient %s\nclose frmClient\n" % picture)
    for program, folder, script in (("api_client", api, ""), ("bizclient", client, script)):
        done = run(os.path.join(folder, program), check=False, cwd=folder, env=dict(env, VX_HEADLESS_SCRIPT=script))
        if done.returncode != 0:
            problems.append("%s: exit %d\n%s" % (program, done.returncode, done.stderr))
    if not os.path.isfile(picture):
        problems.append("bizclient did not show its form")
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
