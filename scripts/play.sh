#!/usr/bin/env bash
# The main job: velmar-sim, the host simulator, loads the plug-in, plays a session of MIDI devices
# being plugged in and pulled out, and prints a transcript of every console line and every host
# command with its tick. Without arguments it plays the built-in session; a scenario file from
# tests/scenarios/ may be given instead. With --diagnostic first, it plays the diagnostic variant,
# which writes every step of its work to the host's console.
#
# It plays against the real kestrune.dll under Wine, and against the native build only when Wine
# cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

usage() {
  cat <<'USAGE'
usage: scripts/play.sh [--diagnostic] [SCENARIO]
  Plays a session against the plug-in and prints its transcript: the built-in session, or
  SCENARIO, a scenario file such as tests/scenarios/burst.scenario.
  --diagnostic  play the diagnostic variant, which also shows every console line it writes
USAGE
}

variant=plain
while [ $# -gt 0 ]; do
  case "$1" in
    -h | --help) usage; exit 0 ;;
    --diagnostic) variant=diagnostic; shift ;;
    -*) echo "play.sh: unknown option: $1" >&2; usage >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -gt 1 ]; then
  echo "play.sh: one scenario at a time: $*" >&2
  usage >&2
  exit 2
fi
# Refused before the builds, which take a while.
if [ $# -eq 1 ] && ! [ -f "$1" -a -r "$1" ]; then
  if [ -e "$1" ]; then
    echo "play.sh: cannot read $1: not a readable file" >&2
  else
    echo "play.sh: cannot read $1: no such file" >&2
  fi
  exit 2
fi

scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev googletest

if [ $# -eq 0 ]; then
  cat >&2 <<'LEGEND'
The built-in session: the plug-in loads and settles for 90 ticks, a MIDI input is plugged in at
tick 100 and pulled out at tick 130. Each line gives the tick, what happened, and its text: the
scenario's steps, the plug-in's console lines (the diagnostic variant only) and the commands it
sends the host. Main_OnCommand(41175, 0) is the host resetting its MIDI devices.

LEGEND
fi

play_native() {
  echo "velmar-sim: playing against the native build (simulated Win32)" >&2
  quietly cmake --preset native
  local program=velmar-sim
  [ "$variant" = diagnostic ] && program=velmar-sim-diagnostic
  quietly cmake --build --preset native --target "$program"
  "build/native/$program" "$@"
}

if ! scripts/ensure-packages.sh g++-mingw-w64-x86-64-posix wine wine64 || ! command -v wine >/dev/null; then
  echo "velmar-sim: Wine cannot be had here" >&2
  play_native "$@"
  exit
fi

quietly cmake --preset windows
quietly cmake --build --preset windows --target velmar-sim

prefix="$PWD/build/windows/wine-prefix"
quietly wine_prefix start "$prefix"
trap 'wine_prefix stop "$prefix" >/dev/null 2>&1 || true' EXIT

dll=build/windows/kestrune.dll
[ "$variant" = diagnostic ] && dll=build/windows/diagnostic/kestrune.dll
echo "velmar-sim: playing against $dll under Wine" >&2
# The winmm test double beside velmar-sim.exe stands in for MIDI hardware.
use_wine_environment "$prefix"
wine build/windows/velmar-sim.exe --plugin "$dll" "$@"
