# Shell helpers the scripts share. Sourced from the repository's root, never run.

# For a script that takes no arguments: --help shows its usage(), anything else is refused with
# it and status 2.
no_arguments() {
  case "${1:-}" in
    "") ;;
    -h | --help) usage; exit 0 ;;
    *) echo "${0##*/}: unexpected argument: $1" >&2; usage >&2; exit 2 ;;
  esac
}

# Runs a build step quietly: its output is shown only when it fails.
quietly() {
  local log
  log=$(mktemp)
  if "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  cat "$log" >&2
  rm -f "$log"
  return 1
}

# Starts (a persistent wineserver with a booted prefix) or stops Wine for the prefix PREFIX, as the
# ctest fixture does: wine_prefix start|stop PREFIX.
wine_prefix() {
  cmake -DACTION="$1" -DWINE="$(command -v wine)" -DWINESERVER="$(command -v wineserver)" \
    -DWINEPREFIX="$2" -P cmake/wine_prefix.cmake
}

# Exports the environment the Windows programs run in under Wine (cmake/wine.env) for the prefix
# PREFIX.
use_wine_environment() {
  set -a
  # shellcheck source=../cmake/wine.env
  . cmake/wine.env
  set +a
  export WINEPREFIX="$1"
}
