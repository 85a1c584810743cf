#!/usr/bin/env bash
# Installs the named Debian packages that are missing: as root, or through sudo. Without either it
# names them and fails.
set -euo pipefail

usage() {
  echo "usage: scripts/ensure-packages.sh PACKAGE..."
  echo "  Installs with apt (as root or through sudo) the named Debian packages that are missing."
}
for package in "$@"; do
  case "$package" in
    -h | --help) usage; exit 0 ;;
    -*) echo "ensure-packages.sh: unknown option: $package" >&2; usage >&2; exit 2 ;;
  esac
done

missing=()
for package in "$@"; do
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
  echo "ensure-packages: missing packages: ${missing[*]}; install them as root" >&2
  exit 1
fi
echo "ensure-packages: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq "${missing[@]}" </dev/null >/dev/null
