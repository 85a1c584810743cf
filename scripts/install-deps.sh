#!/usr/bin/env bash
# Installs what the build and the tests need, when any of it is missing.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: scripts/install-deps.sh
  Installs with apt the packages the build and the tests need, when any is missing.
USAGE
}
cd "$(dirname "$0")/.."
. scripts/common.sh
no_arguments "$@"

# The Windows world needs the cross compiler and Wine. `wine` gives the wine command and is only a
# recommendation of wine64, so both are named. clang and lld build the DLLs a second time (the
# windows-clang preset). strip-nondeterminism takes the build's time, owner and umask out of the
# release zip. RapidCheck generates and shrinks the reference model's sessions.
exec scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev googletest librapidcheck-dev \
  g++-mingw-w64-x86-64-posix wine wine64 clang lld strip-nondeterminism
