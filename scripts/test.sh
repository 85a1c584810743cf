#!/usr/bin/env bash
# Every check, in one command: static analysis, a minute of fuzzing, the native suites (simulated
# Win32, ASan and UBSan) and the Windows suites (kestrune.dll cross-built with mingw-w64, run
# under Wine). The test suites run last, so the run closes with their summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/lint.sh
scripts/fuzz.sh "${KESTRUNE_FUZZ_SECONDS:-60}"

for preset in native windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
