#!/usr/bin/env bash
# Installs what the build and the tests need, when any of it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

# The Windows world needs the cross compiler and Wine. `wine` gives the wine command and is only a
# recommendation of wine64, so both are named.
exec scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev googletest \
  g++-mingw-w64-x86-64-posix wine wine64
