#!/usr/bin/python3
"""The README's by-hand route of the loader, run as written (all but its first line, which
builds the program that this test is given) from a copy of the tree's top: it serves the
update list, the loader installs the file and ends with exit code 0, the version is in the
registry store and the log says the run ended well. It runs in network and mount
namespaces of its own, so that port 8000 and /tmp are its own too."""
import os
import shutil
import subprocess
import sys

SOURCE = os.environ["VX_SOURCE_DIR"]
BINARY = os.environ["VX_BINARY_DIR"]
WORK = os.path.join(BINARY, "tests", "readme-route")


def route():
    """The indented lines that follow "By hand:" in the README."""
    lines = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("By hand:"))
    block, seen = [], False
    for line in lines[start + 1:]:
        if line.startswith("    "):
            block.append(line[4:])
            seen = True
        elif seen and line.strip():
            break
    return block


def main():
    block = route()
    if not block or "cmake --build" not in block[0]:
        print("the route does not start with the build: %s" % block, file=sys.stderr)
        return 1
    shutil.rmtree(WORK, ignore_errors=True)
    out = os.path.join(WORK, "out")
    os.makedirs(os.path.join(WORK, "top", "build", "dev"))
    os.makedirs(out)
    os.symlink(os.path.join(BINARY, "loader"), os.path.join(WORK, "top", "build", "dev", "loader"))
    os.symlink(os.path.join(SOURCE, "examples"), os.path.join(WORK, "top", "examples"))
    script = os.path.join(WORK, "route.sh")
    with open(script, "w", encoding="utf-8") as f:
        f.write("\n".join(block[1:]) + "\n")
        f.write("cp -r /tmp/app /tmp/app-registry '%s'/\n" % out)
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "VX_HEADLESS_SCRIPT", "VX_REGISTRY_DIR") and not k.lower().endswith("_proxy")}
    env.update(VX_HEADLESS="1", LSAN_OPTIONS="suppressions=" + os.path.join(SOURCE, "scripts", "lsan.supp"))
    inside = "mount -t tmpfs tmpfs /tmp && ip link set lo up && cd '%s' && bash '%s'" % (
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
    if problems:
        print("; ".join(problems), file=sys.stderr)
        print("exit %d\n%s\n%s" % (done.returncode, done.stdout[-4000:], done.stderr[-4000:]), file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
