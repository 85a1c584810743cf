#!/usr/bin/env bash
# The benchmark command. Builds the benchmark programs natively (the bench preset, build/bench:
# optimised, no sanitizers) and for Windows (build/bench-windows, run under Wine in a prefix of
# its own), runs them all and prints one table: every figure from the same run, so that ratios
# measured on a noisy machine sit side by side. Without Wine it prints the native rows and says
# so. Exits non-zero when a figure with an expected value (device-count queries, one verification
# per storm, the DLLs' sizes) misses it, or when a program fails.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: scripts/bench.sh
  Builds and runs the benchmarks natively and under Wine, and prints one table.
USAGE
}
cd "$(dirname "$0")/.."
. scripts/common.sh
no_arguments "$@"

scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev valgrind

work=$(mktemp -d)
status=0
wine_note=""
prefix="$PWD/build/bench-windows/wine-prefix"
wine_started=0
finish() {
  if [ "$wine_started" -eq 1 ]; then
    wine_prefix stop "$prefix" || true
  fi
  rm -rf "$work"
}
trap finish EXIT

# Appends a program's rows to the table; a failing program marks the run failed but keeps what it
# printed. Windows programs end their lines in CR LF.
rows() {
  local output="$1"
  shift
  if ! "$@" | tr -d '\r' >>"$work/$output"; then
    echo "bench: $* failed" >&2
    status=1
  fi
}

echo "== native build (build/bench)"
quietly cmake --preset bench
quietly cmake --build --preset bench

# Instructions per call inside FUNCTION (callgrind --toggle-collect), from two runs of N1 and N2
# calls: the difference removes the settling ticks and every one-off cost. Both counts are well
# past the simulated platform's call journal (its first 4,096 calls cost a store more each).
n1=10000
n2=20000
instructions_per_call() {
  local mode=$1 function=$2 totals=() n
  for n in $n1 $n2; do
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.$mode.$n" \
      --toggle-collect="$function" build/bench/kestrune_bench_idle_tick "$mode" "$n" \
      >/dev/null 2>"$work/valgrind.log" || {
      cat "$work/valgrind.log" >&2
      return 1
    }
    totals+=("$(awk '/^totals:/ {print $2}' "$work/callgrind.$mode.$n")")
  done
  awk -v a="${totals[0]}" -v b="${totals[1]}" -v n=$((n2 - n1)) \
    'BEGIN { d = b - a; if (d % n == 0) printf "%d", d / n; else printf "%.2f", d / n }'
}

echo "== native: callgrind"
tick_ir=$(instructions_per_call tick 'on_timer_tick*')
peek_ir=$(instructions_per_call peek 'PeekMessageA*')
how="callgrind --toggle-collect"
{
  printf 'idle tick (native, instructions)\t%s\t%s=on_timer_tick, (Ir(N=%d)-Ir(N=%d))/%d, bench preset\n' \
    "$tick_ir" "$how" $n2 $n1 $((n2 - n1))
  printf 'bare simulated PeekMessageA(PM_REMOVE) (native, instructions)\t%s\t%s=PeekMessageA, same N, own empty window\n' \
    "$peek_ir" "$how"
  printf 'idle tick / bare PeekMessageA (native, instructions)\t%s\tthe two rows above; the tick adds %s instructions\n' \
    "$(awk -v t="$tick_ir" -v p="$peek_ir" 'BEGIN { printf "%.3f", t / p }')" \
    "$(awk -v t="$tick_ir" -v p="$peek_ir" 'BEGIN { print t - p }')"
} >>"$work/native-idle"

echo "== native: device-count queries and storm"
rows native-queries build/bench/kestrune_bench_device_queries
rows native-storm build/bench/kestrune_bench_storm

if ! scripts/ensure-packages.sh g++-mingw-w64-x86-64-posix wine wine64; then
  wine_note="Wine rows missing: the cross compiler or Wine could not be installed"
elif ! {
  echo "== Windows build (build/bench-windows)"
  quietly cmake --preset windows -B build/bench-windows -DKESTRUNE_BENCH=ON &&
    quietly cmake --build build/bench-windows -j2 --target kestrune_bench_idle_tick \
      kestrune_bench_storm kestrune kestrune_diagnostic
}; then
  wine_note="Wine rows missing: the Windows build failed (log above)"
  status=1
else
  # The DLLs as released: the same options as the release preset's.
  for variant in plain diagnostic; do
    dll=build/bench-windows/kestrune.dll
    limit=16384
    if [ "$variant" = diagnostic ]; then
      dll=build/bench-windows/diagnostic/kestrune.dll
      limit=24576
    fi
    size=$(stat -c %s "$dll")
    printf 'kestrune.dll size, %s (bytes)\t%s (target at most %s)\tstat, stripped at link, mingw-w64 GCC\n' \
      "$variant" "$size" "$limit" >>"$work/sizes"
    if [ "$size" -gt "$limit" ]; then
      echo "bench: the $variant DLL is $size bytes, over $limit" >&2
      status=1
    fi
  done
  echo "== Wine: prefix, idle tick, storm"
  wine_started=1
  if quietly wine_prefix start "$prefix"; then
    use_wine_environment "$prefix"
    rows wine-idle wine build/bench-windows/kestrune_bench_idle_tick.exe
    rows wine-storm wine build/bench-windows/kestrune_bench_storm.exe
  else
    wine_note="Wine rows missing: the Wine prefix did not boot (log above)"
    status=1
  fi
fi

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')," \
  "$(g++ --version | head -1)$(command -v wine >/dev/null && echo ", $(wine --version 2>/dev/null)")"
echo
# One Markdown table, columns padded to their widest cell.
touch "$work"/{sizes,wine-idle,native-idle,native-queries,wine-storm,native-storm}
cat "$work"/{sizes,wine-idle,native-idle,native-queries,native-storm,wine-storm} | awk -F'\t' '
  { for (i = 1; i <= 3; ++i) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
  END {
    split("figure|value|how measured", head, "|")
    for (i = 1; i <= 3; ++i) if (length(head[i]) > width[i]) width[i] = length(head[i])
    printf "| %-*s | %-*s | %-*s |\n", width[1], head[1], width[2], head[2], width[3], head[3]
    rule = "|"
    for (i = 1; i <= 3; ++i) { line = ""; for (j = 0; j < width[i] + 2; ++j) line = line "-"; rule = rule line "|" }
    print rule
    for (r = 1; r <= NR; ++r)
      printf "| %-*s | %-*s | %-*s |\n", width[1], cell[r, 1], width[2], cell[r, 2], width[3], cell[r, 3]
  }'
if [ -n "$wine_note" ]; then
  echo
  echo "$wine_note"
fi
exit "$status"
