#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing: as root, or
# through sudo. Without either it names the packages and stops.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev googletest
  # The Windows world: the cross compiler and Wine. `wine` gives the wine command and is only a
  # recommendation of wine64, so both are named.
  g++-mingw-w64-x86-64-posix wine wine64
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: install them as root: apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq "${missing[@]}" </dev/null >/dev/null
