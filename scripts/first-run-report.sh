#!/usr/bin/env bash
# What a run of the Windows suites tells about the machine they ran on, in one file,
# BUILD_DIR/first-run.txt, written after ctest whether it passed or not: the CI job on Windows
# uploads it, and the Linux job writes it for the Wine build, so that its format is checked there.
#
# The file holds, each under a "== " heading:
#   system   the kernel and Windows version (cmd's ver on Windows, Wine's version under Wine),
#            and the commit
#   tools    the compiler, binutils and CMake the build used (from its CMakeCache.txt)
#   tests    every line `first-run: KEY: VALUE` that a test printed on stdout, after the name of
#            the test that printed it; KEY holds no colon, VALUE is free text. ctest keeps the
#            output of every test, passed or not, in Testing/Temporary/LastTest.log, where they
#            are read. A test that learns something only a run can tell (a count, a time, what
#            the system granted or refused) says it this way, and it lands here with no change
#            to this script.
#   skipped  every test that GoogleTest skipped, with the reason it gave
#   ctest    ctest's summary and the tests that did not run, from its --output-log
#            (BUILD_DIR/ctest.log)
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: scripts/first-run-report.sh BUILD_DIR
  Writes BUILD_DIR/first-run.txt from the build's last ctest run (Testing/Temporary/LastTest.log,
  and ctest.log, written by ctest --output-log BUILD_DIR/ctest.log).
USAGE
}
case "${1:-}" in
  -h | --help) usage; exit 0 ;;
  "" | -*) usage >&2; exit 2 ;;
esac
build=$1
[ $# -eq 1 ] || { usage >&2; exit 2; }
[ -f "$build/CMakeCache.txt" ] || { echo "first-run-report.sh: no build in $build" >&2; exit 2; }

# The value of a cache entry, empty when there is none.
cached() {
  sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" | head -n 1
}

# The first line a program prints about its version, or why there is none.
version_of() {
  if [ -n "$1" ] && "$1" --version >/dev/null 2>&1; then
    "$1" --version 2>/dev/null | head -n 1 | tr -d '\r'
  else
    echo "(not found: ${1:-none configured})"
  fi
}

tests_log=$build/Testing/Temporary/LastTest.log
ctest_log=$build/ctest.log

# LastTest.log names each test on a line "n/m Testing: NAME" before its output.
from_tests() {
  tr -d '\r' <"$tests_log" | awk '
    /^[0-9]+\/[0-9]+ Testing: / { test = $3 }
    /^first-run: / { sub(/^first-run: /, ""); print "[" test "] " $0; found = 1 }
    END { if (!found) print "(no test printed a first-run line)" }'
}

# GoogleTest writes "FILE:LINE: Skipped", the reason on the lines after it, then "[  SKIPPED ]".
skipped_tests() {
  tr -d '\r' <"$tests_log" | awk '
    /^[0-9]+\/[0-9]+ Testing: / { test = $3 }
    /: Skipped$/ { reason = ""; collecting = 1; next }
    collecting && /^\[  SKIPPED \]/ {
      print "[" test "] " (reason == "" ? "(no reason given)" : reason); collecting = 0; found = 1
      next
    }
    collecting && NF { reason = (reason == "" ? $0 : reason " " $0) }
    END { if (!found) print "(none)" }'
}

{
  echo "Kestrune: what the Windows suites saw, $(date -u +%Y-%m-%dT%H:%M:%SZ)"
  echo
  echo "== system"
  uname -a
  case "$(uname -s)" in
    MINGW* | MSYS* | CYGWIN*) cmd //c ver 2>&1 | tr -d '\r' | sed '/^$/d' ;;
  esac
  wine=$(cached KESTRUNE_WINE)
  if [ -n "$wine" ] && [ "$(cached KESTRUNE_RUN_UNDER_WINE)" = ON ]; then
    echo "under Wine: $(version_of "$wine")"
  fi
  echo "commit: $(git -C "$(dirname "$0")" rev-parse --short HEAD 2>/dev/null || echo "${GITHUB_SHA:-unknown}")"
  echo
  echo "== tools"
  echo "compiler: $(version_of "$(cached CMAKE_CXX_COMPILER)")"
  objdump=$(cached KESTRUNE_MINGW_OBJDUMP)
  echo "binutils: $(version_of "${objdump:-$(cached CMAKE_OBJDUMP)}")"
  echo "cmake: $(version_of "$(cached CMAKE_COMMAND)")"
  echo
  echo "== tests"
  if [ -f "$tests_log" ]; then from_tests; else echo "(no $tests_log: ctest did not run)"; fi
  echo
  echo "== skipped"
  if [ -f "$tests_log" ]; then skipped_tests; else echo "(no $tests_log: ctest did not run)"; fi
  echo
  echo "== ctest"
  if [ -f "$ctest_log" ]; then
    tr -d '\r' <"$ctest_log" |
      sed -n '/tests passed/,$p' | sed '/^Total Test time/d; /^Errors while running CTest/d; /^\[ERROR_MESSAGE\]/d; /^$/d'
  else
    echo "(no $ctest_log: run ctest with --output-log $ctest_log)"
  fi
} >"$build/first-run.txt"
echo "first-run-report.sh: wrote $build/first-run.txt"
