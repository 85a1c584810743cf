#!/usr/bin/env bash
# Builds the monitor fuzzer (libFuzzer, clang, ASan and UBSan) into build/fuzz and runs it for
# SECONDS (default 60) on a scratch copy of the seed corpus in tests/fuzz/corpus, so that what it
# learns stays out of the repository. For a longer search: scripts/fuzz.sh 3600.
# A failing input is kept in build/fuzz/artifacts/; replay it with
#   build/fuzz/kestrune_monitor_fuzzer build/fuzz/artifacts/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'USAGE'
usage: scripts/fuzz.sh [SECONDS]
  Builds the monitor fuzzer and runs it for SECONDS (default 60), a whole number from 1 to
  999999999.
USAGE
}
case "${1:-}" in
  -h | --help) usage; exit 0 ;;
esac
# libFuzzer reads 0 as "no limit", and a word it cannot read as 0 too: either would run for good.
if [ $# -gt 1 ] || ! [[ "${1:-60}" =~ ^[0-9]{1,9}$ ]] || [ "$((10#${1:-60}))" -eq 0 ]; then
  echo "fuzz.sh: SECONDS must be a whole number from 1 to 999999999: ${*:-}" >&2
  usage >&2
  exit 2
fi
seconds=$((10#${1:-60}))

scripts/ensure-packages.sh cmake ninja-build clang libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus
rm -rf "$work"
mkdir -p "$work" build/fuzz/artifacts
cp tests/fuzz/corpus/* "$work"/
echo "== fuzzing for ${seconds} s"
# libFuzzer reports every new input it keeps; the log holds those, and only the summary is shown
# unless the run fails.
log=build/fuzz/fuzz.log
if ! build/fuzz/kestrune_monitor_fuzzer -max_total_time="$seconds" -max_len=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "$work" >"$log" 2>&1; then
  tail -n 60 "$log" >&2
  echo "fuzz: failed; the whole log is in $log" >&2
  exit 1
fi
grep -E '^(Done|stat::)' "$log"
