#!/usr/bin/python3
"""The README's by-hand route of the loader and its installation of the libraries, run as
written (all but the first line of each, which builds what this test is given: the loader,
and the build tree to install) from a copy of the tree's top: it serves the update list,
the loader installs the file and ends with exit code 0, the version is in the registry
store and the log says the run ended well; the libraries and the CMake package are in the
prefix. It runs in network and mount namespaces of its own, so that port 8000, /tmp and
/opt are its own too; the folders of the tree that lie under them are bound back. Where
the namespaces cannot be made (a chroot whose / is no mount point, a container without
the right), the route runs on a free port, with folders of its own in place of /tmp/app
and /opt/vx."""
import os
import shlex
import shutil
import socket
import subprocess
import sys

SOURCE = os.path.realpath(os.environ["VX_SOURCE_DIR"])
BINARY = os.path.realpath(os.environ["VX_BINARY_DIR"])
WORK = os.path.join(BINARY, "tests", "readme-route")
TOP = os.path.join(WORK, "top")


def route(marker):
    """The indented lines that follow the README's line starting with marker."""
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


PRIVATE = ("/tmp", "/opt")
# What the route writes in them, and the name of its copy in the test's own folder.
WRITTEN = (("/tmp/app", "app"), ("/tmp/app-registry", "app-registry"), ("/opt/vx", "vx"))


def hidden():
    """The entries of the private folders that hold the tree or its build."""
    tops = set()
    for root in PRIVATE:
        for path in (SOURCE, BINARY):
            rel = os.path.relpath(path, os.path.realpath(root))
            if rel != "." and not rel.startswith(".."):
                tops.add(os.path.join(root, rel.split(os.sep)[0]))
    return sorted(tops)


def in_namespaces(body, env):
    """Runs body with /tmp and the loopback of its own; None when they cannot be made."""
    keep = hidden()
    if any(t == place for t in keep for place, _ in WRITTEN):
        return None
    # Each folder that the tmpfs would hide is held open, then bound back through its
    # descriptor; mount must not turn that path into a name, which the tmpfs would hide.
    opened = " ".join("%d<%s" % (3 + i, shlex.quote(t)) for i, t in enumerate(keep))
    back = "".join(" && mkdir -p %s && mount -c --bind /proc/self/fd/%d %s" % (shlex.quote(t), 3 + i, shlex.quote(t))
                   for i, t in enumerate(keep))
    private = " && ".join("mount -t tmpfs tmpfs " + root for root in PRIVATE)
    inside = ("exec %s; %s%s && ip link set lo up || exit 125\n%s" % (opened, private, back, body))
    # The superuser needs no user namespace of its own, and may not make one where it
    # runs chrooted.
    users = [] if os.geteuid() == 0 else ["--map-root-user"]
    probe = subprocess.run(["unshare"] + users + ["--net", "--mount", "true"], capture_output=True)
    if probe.returncode != 0:
        return None
    done = subprocess.run(["unshare"] + users + ["--net", "--mount", "sh", "-c", inside], env=env,
                          capture_output=True, text=True, timeout=600)
    return None if done.returncode == 125 else done


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    block, installation = route("By hand:"), route("Installed from the tree")
    if not block or "cmake --build" not in block[0] or "cmake --build build/release" not in (installation or [""])[0]:
        print("a route does not start with its build: %s %s" % (block, installation), file=sys.stderr)
        return 1
    shutil.rmtree(WORK, ignore_errors=True)
    out = os.path.join(WORK, "out")
    os.makedirs(os.path.join(TOP, "build", "dev"))
    os.makedirs(out)
    os.symlink(os.path.join(BINARY, "loader"), os.path.join(TOP, "build", "dev", "loader"))
    os.symlink(os.path.join(SOURCE, "examples"), os.path.join(TOP, "examples"))
    os.symlink(BINARY, os.path.join(TOP, "build", "release"))
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "VX_HEADLESS_SCRIPT", "VX_REGISTRY_DIR") and not k.lower().endswith("_proxy")}
    env.update(VX_HEADLESS="1", LSAN_OPTIONS="suppressions=" + os.path.join(SOURCE, "scripts", "lsan.supp"))
    route_lines = "\n".join(block[1:] + installation[1:]) + "\n"
    copy_out = "cp -r %s %s/\n" % (" ".join(place for place, _ in WRITTEN), shlex.quote(out))
    done = in_namespaces("cd %s && { %s%s}" % (shlex.quote(TOP), route_lines, copy_out), env)
    if done is None:
        print("no namespaces here: the route runs on a free port with %s/app and %s/vx in place of /tmp/app and /opt/vx"
              % (out, out))
        for _ in range(5):
            # The port is free when chosen; another program may take it before the server
            # binds it, and then the route is run again on another.
            port = free_port()
            lines = route_lines.replace("8000", str(port))
            for place, own in WRITTEN:
                lines = lines.replace(place, shlex.quote(out) + "/" + own)
                shutil.rmtree(os.path.join(out, own), ignore_errors=True)
            done = subprocess.run(["sh", "-c", "cd %s && { %s}" % (shlex.quote(TOP), lines)], env=env,
                                  capture_output=True, text=True, timeout=600)
            if "Address already in use" not in done.stderr:
                break

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
    for name in ("libvxplatform.so", "libvxpackage.so", "libgridsift.so", "cmake/vxsystem/vxsystemConfig.cmake"):
        if not os.path.isfile(os.path.join(out, "vx", "lib", name)):
            problems.append("/opt/vx/lib/%s not installed" % name)
    if problems:
        print("; ".join(problems), file=sys.stderr)
        print("exit %d\n%s\n%s" % (done.returncode, done.stdout[-4000:], done.stderr[-4000:]), file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
