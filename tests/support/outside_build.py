"""Projects outside the tree, built against an installed copy of it: `cmake --install`
of the test build into a prefix, and builds of other CMake projects on that prefix with
the test build's compiler (and compiler cache)."""
import os
import subprocess

BINARY = os.environ["VX_BINARY_DIR"]


def cache(name):
    with open(os.path.join(BINARY, "CMakeCache.txt")) as f:
        return next((line.split("=", 1)[1].strip() for line in f if line.startswith(name + ":")), "")


def run(*command, check=True, **options):
    done = subprocess.run(command, capture_output=True, text=True, timeout=900, **options)
    if check and done.returncode != 0:
        raise RuntimeError("%s failed:\n%s%s" % (" ".join(command), done.stdout[-4000:], done.stderr[-4000:]))
    return done


def install(prefix):
    run("cmake", "--install", BINARY, "--prefix", prefix)


def build(source, folder, prefix, *options):
    launcher = cache("CMAKE_CXX_COMPILER_LAUNCHER")
    run("cmake", "-S", source, "-B", folder, "-G", "Ninja", "-DCMAKE_PREFIX_PATH=" + prefix,
        "-DCMAKE_CXX_COMPILER=" + cache("CMAKE_CXX_COMPILER"),
        *(["-DCMAKE_CXX_COMPILER_LAUNCHER=" + launcher] if launcher else []), *options)
    run("cmake", "--build", folder)
