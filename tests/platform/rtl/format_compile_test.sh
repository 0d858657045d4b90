#!/usr/bin/env bash
# Format's guarantees that only the compiler can show: a literal format is checked
# against its arguments while compiling, and run-time text is refused as a format.
set -uo pipefail
src=${VX_SOURCE_DIR:-$(cd "$(dirname "$0")/../../.." && pwd)}
cxx=${CXX:-c++}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

compile() {  # compile <name> <body>: 0 when the body compiles
  printf '%s\n' '#include "platform/rtl/sysutils.h"' \
    'template <class... Args> std::string Wrapped(FormatText<std::type_identity_t<Args>...> t, const Args&... a) {' \
    '  return Format(t, a...);' '}' \
    'void f(const std::string& s, const char* p, int i, double d, bool b) {' "$2" '}' >"$work/$1.cpp"
  "$cxx" -std=c++20 -fsyntax-only -I"$src" "$work/$1.cpp" 2>"$work/$1.err"
}

expect_ok() {
  if ! compile "$1" "$2"; then
    echo "FAIL: $1 should compile:"; cat "$work/$1.err"; failures=$((failures + 1))
  fi
}

expect_refused() {  # expect_refused <name> <body> [text the diagnostic must name]
  if compile "$1" "$2"; then
    echo "FAIL: $1 compiled but must not"; failures=$((failures + 1))
  elif [ -n "${3:-}" ] && ! grep -q "$3" "$work/$1.err"; then
    echo "FAIL: $1 was refused without naming $3:"; head -20 "$work/$1.err"; failures=$((failures + 1))
  fi
}

expect_ok matching 'Format("%s %d %5.2f %x %p %% %s", s, i, d, 7u, static_cast<const void*>(p), p); Format(TrustedFormat(s), i);
  Format("%*d", i, int64_t{1}); Format("plain"); Wrapped("%s=%d", s, i);'
expect_refused runtime_string 'Format(s, i);'
expect_refused runtime_pointer 'Format(p);'
expect_refused int_for_string 'Format("%s", i);' FormatTextDoesNotMatchItsArguments
expect_refused string_for_int 'Format("%d", s);' FormatTextDoesNotMatchItsArguments
expect_refused double_for_int 'Format("%d", d);' FormatTextDoesNotMatchItsArguments
expect_refused too_few 'Format("%s %s", s);' FormatTextDoesNotMatchItsArguments
expect_refused too_many 'Format("%s", s, s);' FormatTextDoesNotMatchItsArguments
expect_refused bad_type 'Format("%q", i);' FormatTextDoesNotMatchItsArguments
expect_refused boolean 'Format("%d", b);'
expect_refused wrapped_mismatch 'Wrapped("%d", s);' FormatTextDoesNotMatchItsArguments
expect_refused wrapped_runtime 'Wrapped(s, i);'

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "format compile checks passed"
