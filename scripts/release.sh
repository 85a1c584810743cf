#!/usr/bin/env bash
# Makes the release package from this tree: builds both DLLs and the probe afresh in
# build/release (the release preset: mingw-w64, stripped, reproducible), packs them with the user
# guide, the licence, the changelog and SHA256SUMS into kestrune-<version>-windows-x64.zip with
# CPack, checks the package's sums, and prints its path and the SHA-256 of the zip, the DLLs and
# the probe. The zip's bytes depend on the commit alone (cmake/normalise_package.cmake).
#
# A release is made from committed sources only, so that its DLLs can be rebuilt from the commit.
# --allow-modified builds a tree with uncommitted changes anyway, and marks its version (file
# name, version resource) as "-modified" so that it cannot pass for the release.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

usage() {
  cat <<'USAGE'
usage: scripts/release.sh [--allow-modified]
  Builds the DLLs and packs kestrune-<version>-windows-x64.zip from a clean tree.
  --allow-modified  build a tree with uncommitted changes, its version marked "-modified"
USAGE
}

allow_modified=0
case "${1:-}" in
  "") ;;
  -h | --help) usage; exit 0 ;;
  --allow-modified) allow_modified=1 ;;
  *) echo "release.sh: unexpected argument: $1" >&2; usage >&2; exit 2 ;;
esac
if [ $# -gt 1 ]; then
  echo "release.sh: one option at most: $*" >&2
  usage >&2
  exit 2
fi

scripts/ensure-packages.sh cmake ninja-build g++-mingw-w64-x86-64-posix strip-nondeterminism

suffix=""
if ! changes=$(git status --porcelain 2>/dev/null); then
  echo "release.sh: not a git work tree; a release is made from a commit" >&2
  exit 1
fi
if [ -n "$changes" ]; then
  if [ "$allow_modified" -eq 0 ]; then
    echo "release.sh: the tree has uncommitted changes; commit them, or build anyway with" \
      "--allow-modified:" >&2
    echo "$changes" >&2
    exit 1
  fi
  suffix="-modified"
  echo "release.sh: uncommitted changes: the version is marked \"$suffix\""
fi

build=build/release
rm -rf "$build"
echo "== building $(git rev-parse --short HEAD)${suffix} in $build"
quietly cmake --preset release -DKESTRUNE_VERSION_SUFFIX="$suffix"
quietly cmake --build --preset release
quietly cpack --preset release

name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
package="$PWD/$build/$name.zip"
if [ -z "$name" ] || [ ! -f "$package" ]; then
  echo "release.sh: CPack made no package ${name:+$name.zip }in $build" >&2
  exit 1
fi

# The sums in the package must hold for what was packed.
check="$build/package-check"
rm -rf "$check"
mkdir -p "$check"
(cd "$check" && cmake -E tar xf "$package")
(cd "$check/$name" && sha256sum --quiet -c SHA256SUMS) || {
  echo "release.sh: the package's SHA256SUMS do not match its files" >&2
  exit 1
}

echo "package: $package"
echo "SHA-256:"
(cd "$build" && sha256sum "$name.zip")
(cd "$check/$name" && sha256sum kestrune.dll diagnostic/kestrune.dll kestrune-probe.exe)
