#!/usr/bin/env bash
# Every check, in one command: static analysis, a minute of fuzzing, the native suites (simulated
# Win32, ASan and UBSan) and the Windows suites (kestrune.dll cross-built with mingw-w64, run
# under Wine). The test suites run last, then the first-run report of the Windows build, which
# is checked for what it must hold.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: scripts/test.sh
  Every check, as CI runs it: lint, a minute of fuzzing, the native suites, the Windows
  suites under Wine (with the DLLs of both compilers). KESTRUNE_FUZZ_SECONDS=N fuzzes N seconds.
USAGE
}
cd "$(dirname "$0")/.."
. scripts/common.sh
no_arguments "$@"

scripts/install-deps.sh
scripts/lint.sh
scripts/fuzz.sh "${KESTRUNE_FUZZ_SECONDS:-60}"

# The DLLs of the second compiler first: the Windows suites play every scenario against them too.
echo "== windows-clang"
cmake --preset windows-clang >/dev/null
cmake --build --preset windows-clang

for preset in native windows; do
  echo "== $preset"
  if [ "$preset" = windows ]; then
    cmake --preset windows -DKESTRUNE_CLANG_BUILD_DIR="$PWD/build/windows-clang" >/dev/null
  else
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset"
  ctest --preset "$preset" --output-log "build/$preset/ctest.log"
done

# The report that the Windows job uploads, written for the Wine build, so that a change that breaks
# it fails here first: every heading, and a line of each test that always reports.
echo "== first-run report"
scripts/first-run-report.sh build/windows
for expected in '^== system$' '^== tools$' '^== tests$' '^== skipped$' '^== ctest$' \
  '^compiler: .*GCC' '^binutils: GNU objdump' '\] soak: [0-9]+ load/unload cycles in ' \
  '\] storm from another process, arrived/sent by claimed size: null [0-9]+/[0-9]+ 0 ' \
  '\] fault in a procedure of a message sent from another thread: ' \
  '\] probe header: kestrune-probe .* on Windows ' \
  '\] probe header: suspend/resume notifications: ' \
  '\] suspend/resume registration: (registered|failed)$' \
  '\] notice sent during a 3 s stall: (lost|still queued)$' '^100% tests passed'; do
  if ! grep -Eq -- "$expected" build/windows/first-run.txt; then
    echo "test.sh: build/windows/first-run.txt has no line matching /$expected/" >&2
    exit 1
  fi
done
