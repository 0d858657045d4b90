#!/usr/bin/python3
"""A client program outside the tree: `cmake --install` gives the three libraries, the
headers and the CMake package; the example client and a program that calls the
packages' API build from that installed tree as projects of their own, link the three
.so files (and no part of the tree), and run headless to the end."""
import os
import shutil
import subprocess
import sys

SOURCE = os.environ["VX_SOURCE_DIR"]
BINARY = os.environ["VX_BINARY_DIR"]
# Fixed folders, so that a compiler cache knows the builds again.
WORK = os.path.join(BINARY, "tests", "outside-client")
PREFIX = os.path.join(WORK, "prefix")
LIBRARIES = {"libvxplatform.so", "libvxpackage.so", "libgridsift.so"}


def cache(name):
    with open(os.path.join(BINARY, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    return ""


def run(*command, **options):
    done = subprocess.run(command, capture_output=True, text=True, timeout=900, **options)
    if done.returncode != 0:
        raise RuntimeError("%s failed:\n%s%s" % (" ".join(command), done.stdout[-4000:], done.stderr[-4000:]))
    return done


def build(source, folder):
    """Configures and builds a project against the installed tree."""
    options = ["-DCMAKE_PREFIX_PATH=" + PREFIX, "-DCMAKE_CXX_COMPILER=" + cache("CMAKE_CXX_COMPILER")]
    if cache("CMAKE_CXX_COMPILER_LAUNCHER"):
        options.append("-DCMAKE_CXX_COMPILER_LAUNCHER=" + cache("CMAKE_CXX_COMPILER_LAUNCHER"))
    run("cmake", "-S", source, "-B", folder, "-G", "Ninja", *options)
    run("cmake", "--build", folder)


def needed(program):
    out = run("readelf", "-d", program).stdout
    return {line.split("[")[1].rstrip("]") for line in out.splitlines() if "(NEEDED)" in line}


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    run("cmake", "--install", BINARY, "--prefix", PREFIX)
    problems = []
    installed = set(os.listdir(os.path.join(PREFIX, "lib")))
    if not LIBRARIES <= installed:
        problems.append("installed libraries: %s" % sorted(installed))

    client, api = os.path.join(WORK, "client"), os.path.join(WORK, "api")
    build(os.path.join(SOURCE, "examples", "client"), client)
    build(os.path.join(SOURCE, "tests", "examples", "client", "outside"), api)
    env = dict(os.environ, VX_HEADLESS="1",
               LSAN_OPTIONS="suppressions=" + os.path.join(SOURCE, "scripts", "lsan.supp"))
    for program in (os.path.join(client, "bizclient"), os.path.join(api, "api_client")):
        ours = {n for n in needed(program) if n.startswith("libvx") or n.startswith("libgrid")}
        if ours != LIBRARIES:
            problems.append("%s links %s" % (program, sorted(ours)))

    done = subprocess.run([os.path.join(api, "api_client")], cwd=api, env=env, capture_output=True, text=True,
                          timeout=600)
    if done.returncode != 0:
        problems.append("api_client: exit %d\n%s" % (done.returncode, done.stderr))

    picture, script = os.path.join(client, "form.png"), os.path.join(client, "script.txt")
    with open(script, "w") as f:
        f.write("shot frmClient %s\nclose frmClient\n" % picture)
    done = subprocess.run([os.path.join(client, "bizclient")], cwd=client, env=dict(env, VX_HEADLESS_SCRIPT=script),
                          capture_output=True, text=True, timeout=600)
    if done.returncode != 0 or not os.path.isfile(picture):
        problems.append("bizclient: exit %d, %s\n%s" % (done.returncode, "a picture" if os.path.isfile(picture)
                                                         else "no picture", done.stderr))
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
