#!/usr/bin/python3
"""Checks a build tree's packages against their public headers (ctest runs it as the test
package_exports):

    cmake/check_exports.py BUILD_DIR

A client program compiles the packages' public headers and links the .so files, so
each package must export every symbol its public headers name, and nothing else:

- declared: every function and variable that a public header declares and does not
  define (constructors and destructors in every variant a client or a derived class
  calls) is exported by the package;
- called by inline code: every symbol that the headers' inline code refers to (the
  headers compiled with -fkeep-inline-functions) is exported by the package, by
  libvxplatform.so or by a library the package itself links;
- nothing else: the package exports only what its public headers name (members and
  locals of their classes and functions), its entry points and the objects of inline
  code that every module must share with the platform library (class descriptors,
  virtual tables, type information), so that each exists once in the process;
- warning-free: the headers compile under -Wall -Wextra -Werror with g++ and clang.

The public headers are those cmake/VxInstall.cmake installs for each package (listed in
public_headers.txt of the build tree): for libvxpackage.so bizcontrols/*.h and the
picture classes' headers a control's picture may hold, with the package's own headers
they include; for libgridsift.so gridsearch/*.h. The platform headers they include
belong to libvxplatform.so."""
import os
import re
import subprocess
import sys
import tempfile

import clang.cindex as ci

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BINARY = os.path.abspath(sys.argv[1])

# The folders of each package's own headers (those of the platform library aside).
OWN = {"libvxpackage.so": ("bizcontrols/", "codecs/"), "libgridsift.so": ("gridsearch/",)}
ENTRY_POINTS = {"Initialize", "Finalize", "GetPackageInfoTable"}
LINKER = {"_end", "_edata", "__bss_start", "_init", "_fini", "_GLOBAL_OFFSET_TABLE_"}
# Objects of inline code that the package shares with every other module.
SHARED = re.compile(r"(vtable|VTT|typeinfo|typeinfo name|guard variable) for .*|.*::StaticClass\(\)::info|RT_\w+")
SPECIAL = re.compile(r"^(non-virtual thunk to |virtual thunk to |covariant return thunk to |vtable for |VTT for |"
                     r"typeinfo for |typeinfo name for |guard variable for )")
FUNCTIONS = {ci.CursorKind.FUNCTION_DECL, ci.CursorKind.CXX_METHOD, ci.CursorKind.CONSTRUCTOR,
             ci.CursorKind.DESTRUCTOR, ci.CursorKind.CONVERSION_FUNCTION}
SCOPES = {ci.CursorKind.NAMESPACE, ci.CursorKind.CLASS_DECL, ci.CursorKind.STRUCT_DECL, ci.CursorKind.UNION_DECL}
WARNINGS = ["-Wall", "-Wextra", "-Werror"]


def compiler():
    with open(os.path.join(BINARY, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith("CMAKE_CXX_COMPILER:"):
                return line.split("=", 1)[1].strip()
    return "c++"


def symbols(path, *options, types=None):
    """The names nm lists, of the given types only when types is given."""
    out = subprocess.run(["nm", "--format=posix", *options, path], check=True, capture_output=True,
                         text=True).stdout
    # Dynamic symbols carry their version ("name@@VERSION").
    return {f[0].split("@")[0] for f in map(str.split, out.splitlines())
            if f and (types is None or f[1] in types)}


def demangle(names):
    names = sorted(names)
    out = subprocess.run(["c++filt"], input="\n".join(names), check=True, capture_output=True, text=True).stdout
    return dict(zip(names, out.splitlines()))


def variants(mangled, kind):
    """The symbols of a constructor (complete and base object) or destructor (complete
    and base object) that libclang names by its complete-object variant."""
    if kind not in (ci.CursorKind.CONSTRUCTOR, ci.CursorKind.DESTRUCTOR):
        return [mangled]
    tag = "C1" if kind == ci.CursorKind.CONSTRUCTOR else "D1"
    # _ZN [K] <len><name>... C1|D1 ...: skip the length-prefixed names.
    i = 3 + (mangled[3] == "K")
    while mangled[i].isdigit():
        j = i
        while mangled[j].isdigit():
            j += 1
        i = j + int(mangled[i:j])
    assert mangled.startswith(tag, i), mangled
    return [mangled, mangled[:i] + tag[0] + "2" + mangled[i + 2:]]


def deleted_or_defaulted(cursor):
    tokens = [t.spelling for t in cursor.get_tokens()]
    return tokens[-2:] in (["=", "delete"], ["=", "default"])


class Headers:
    """What the public headers of one package declare, as libclang reads them."""

    def __init__(self, source, own, diagnostics):
        self.own = own
        self.declared = set()   # declared and not defined in the headers: must be exported
        self.named = set()      # every function and variable of the headers
        self.scopes = set()     # qualified names of their classes and functions
        index = ci.Index.create()
        tu = index.parse(source, args=["-x", "c++", "-std=c++20", "-I" + SOURCE] + WARNINGS)
        for d in tu.diagnostics:
            if d.severity >= ci.Diagnostic.Warning:
                diagnostics.append("clang: %s" % d)
        self.walk(tu.cursor, "")

    def ours(self, cursor):
        f = cursor.location.file
        if f is None:
            return False
        name = os.path.relpath(os.path.realpath(f.name), os.path.realpath(SOURCE))
        return name.startswith(self.own)

    def walk(self, cursor, scope):
        for c in cursor.get_children():
            if not self.ours(c):
                continue
            if c.kind in SCOPES and c.spelling:
                name = scope + c.spelling
                if c.kind != ci.CursorKind.NAMESPACE and c.is_definition():
                    self.scopes.add(name)
                self.walk(c, name + "::")
            elif c.kind in FUNCTIONS or c.kind == ci.CursorKind.VAR_DECL:
                if c.linkage != ci.LinkageKind.EXTERNAL:
                    continue
                if c.kind in FUNCTIONS:
                    self.scopes.add(scope + c.spelling)
                mangled = variants(c.mangled_name, c.kind)
                self.named.update(mangled)
                if not c.is_definition() and not (c.kind in FUNCTIONS and c.is_pure_virtual_method()) \
                        and not deleted_or_defaulted(c):
                    self.declared.update(mangled)


def exported_by_needed(library):
    """The dynamic symbols of the libraries the package links, system ones included."""
    out = subprocess.run(["ldd", library], check=True, capture_output=True, text=True).stdout
    found = set()
    for line in out.splitlines():
        m = re.search(r"=> (/\S+)", line)
        if m:
            found |= symbols(m.group(1), "-D", "--defined-only")
    return found


def check(library, headers, work, problems):
    path = os.path.join(BINARY, library)
    source = os.path.join(work, library + ".cpp")
    with open(source, "w") as f:
        f.writelines('#include "%s"\n' % h for h in headers)

    diagnostics = []
    api = Headers(source, OWN[library], diagnostics)
    obj = os.path.join(work, library + ".o")
    build = subprocess.run([compiler(), "-std=c++20", "-I" + SOURCE, "-fkeep-inline-functions", *WARNINGS, "-c",
                            source, "-o", obj], capture_output=True, text=True)
    if build.returncode != 0:
        diagnostics.append("%s: %s" % (compiler(), build.stderr.strip()))
    problems += ["%s: its public headers are not warning-free: %s" % (library, d) for d in diagnostics]
    if build.returncode != 0:
        return

    exports = symbols(path, "-D", "--defined-only")
    defined = symbols(path, "--defined-only")
    platform = symbols(os.path.join(BINARY, "libvxplatform.so"), "-D", "--defined-only")
    linked = exported_by_needed(path)
    called = symbols(obj, "-u")
    # Objects of inline code (statics of inline functions, virtual tables) that the
    # client makes a copy of: the package's own copy must be the one the process uses.
    copies = symbols(obj, "--defined-only", types="Vu") & defined
    names = demangle(api.declared | called | exports | copies)
    prefixes = tuple(p + "::" for p in api.scopes) + tuple(p + "(" for p in api.scopes)

    def own(s):
        name = SPECIAL.sub("", names[s])
        return name in api.scopes or name.startswith(prefixes)

    for s in sorted(ENTRY_POINTS - exports):
        problems.append("%s does not export its entry point %s" % (library, s))
    for s in sorted(api.declared - exports):
        why = "hides" if s in defined else "does not define"
        problems.append("%s %s %s, which its public headers declare" % (library, why, names[s]))
    for s in sorted(called - exports - platform - linked - api.declared - LINKER):
        problems.append("%s: inline code of its public headers calls %s, which no library exports" %
                        (library, names[s]))

    for s in sorted(s for s in copies - exports if own(s)):
        problems.append("%s hides %s, of which a client makes a copy of its own" % (library, names[s]))

    for s in sorted(exports - api.named - ENTRY_POINTS - LINKER):
        if s.startswith("__odr_asan") or SHARED.fullmatch(names[s]) or own(s):
            continue
        problems.append("%s exports %s, which no public header names" % (library, names[s]))


def main():
    problems = []
    headers = {}
    with open(os.path.join(BINARY, "public_headers.txt")) as f:
        for library, header in map(str.split, f):
            headers.setdefault(library, []).append(header)
    with tempfile.TemporaryDirectory() as work:
        for library in OWN:
            check(library, headers.get(library, []), work, problems)
    for p in dict.fromkeys(problems):
        print(p, file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
