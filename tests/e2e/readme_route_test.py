#!/usr/bin/python3
"""The README's by-hand route of the loader and its installation of the libraries, run as
written (all but the first line of each, which builds what this test is given: the loader,
and the build tree to install) from a copy of the tree's top: it serves the update list,
the loader installs the file and ends with exit code 0, the version is in the registry
store and the log says the run ended well; the libraries and the CMake package are in the
prefix. It runs in network and mount namespaces of its own, so that port 8000, /tmp and
/opt are its own too."""
import os
import shutil
import subprocess
import sys

SOURCE = os.environ["VX_SOURCE_DIR"]
BINARY = os.environ["VX_BINARY_DIR"]
WORK = os.path.join(BINARY, "tests", "readme-route")


def route(marker):
    """The indented lines that follow the README's line starting with Marker."""
    lines = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(marker))
    block, seen = [], False
    for line in lines[start + 1:]:
        if line.startswith("    "):
            block.append(line[4:])
            seen = True
        elif seen and line.strip():
            break
    return block


def main():
    block, installation = route("By hand:"), route("Installed from the tree")
    if not block or "cmake --build" not in block[0] or "cmake --build build/release" not in (installation or [""])[0]:
        print("a route does not start with its build: %s %s" % (block, installation), file=sys.stderr)
        return 1
    shutil.rmtree(WORK, ignore_errors=True)
    out = os.path.join(WORK, "out")
    os.makedirs(os.path.join(WORK, "top", "build", "dev"))
    os.makedirs(out)
    os.symlink(os.path.join(BINARY, "loader"), os.path.join(WORK, "top", "build", "dev", "loader"))
    os.symlink(os.path.join(SOURCE, "examples"), os.path.join(WORK, "top", "examples"))
    os.symlink(BINARY, os.path.join(WORK, "top", "build", "release"))
    script = os.path.join(WORK, "route.sh")
    with open(script, "w", encoding="utf-8") as f:
        f.write("\n".join(block[1:] + installation[1:]) + "\n")
        f.write("cp -r /tmp/app /tmp/app-registry '%s'/ && cd /opt/vx && find . -type f >'%s'/installed\n" % (out, out))
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "VX_HEADLESS_SCRIPT", "VX_REGISTRY_DIR") and not k.lower().endswith("_proxy")}
    env.update(VX_HEADLESS="1", LSAN_OPTIONS="suppressions=" + os.path.join(SOURCE, "scripts", "lsan.supp"))
    inside = "mount -t tmpfs tmpfs /tmp && mount -t tmpfs tmpfs /opt && ip link set lo up && cd '%s' && bash '%s'" % (
        os.path.join(WORK, "top"), script)
    # The superuser needs no user namespace of its own, and may not make one where it
    # runs chrooted.
    users = [] if os.geteuid() == 0 else ["--map-root-user"]
    done = subprocess.run(["unshare"] + users + ["--net", "--mount", "sh", "-c", inside], env=env,
                          capture_output=True, text=True, timeout=600)

    problems = []
    served = open(os.path.join(SOURCE, "examples", "by-hand", "hello.txt"), encoding="utf-8").read()
    if "exit 0" not in done.stdout.splitlines():
        problems.append("no \"exit 0\"")
    installed = os.path.join(out, "app", "hello.txt")
    if not os.path.isfile(installed) or open(installed, encoding="utf-8").read() != served:
        problems.append("hello.txt not installed")
    log = os.path.join(out, "app", "LoaderLog.log")
    if not os.path.isfile(log) or "[정상 종료]" not in open(log, encoding="utf-8").read():
        problems.append("the log does not say the run ended well")
    registry = os.path.join(out, "app-registry", "HKEY_CURRENT_USER.reg")
    if not os.path.isfile(registry) or '"CurVersion"="1.0.0"' not in open(registry, encoding="utf-8").read():
        problems.append("release 1.0.0 not in the registry store")
    listed = os.path.join(out, "installed")
    files = open(listed).read().split() if os.path.isfile(listed) else []
    for name in ("libvxplatform.so", "libvxpackage.so", "libgridsift.so", "cmake/vxsystem/vxsystemConfig.cmake"):
        if "./lib/" + name not in files:
            problems.append("/opt/vx/lib/%s not installed" % name)
    if problems:
        print("; ".join(problems), file=sys.stderr)
        print("exit %d\n%s\n%s" % (done.returncode, done.stdout[-4000:], done.stderr[-4000:]), file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
