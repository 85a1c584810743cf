#!/usr/bin/env bash
# Builds and runs every test: the native suites (simulated Win32, ASan and UBSan) and the Windows
# suites (kestrune.dll cross-built with mingw-w64, run under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

for preset in native windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
