// What every benchmark program shares, in either world: the plug-in as velmar-sim drives it
// (sim/world.h), linked in on the simulated platform or the real kestrune.dll with the winmm test
// double, ticked through the host double, whose journal is of fixed size, so nothing allocates or
// prints while a measurement runs; a row of the table scripts/bench.sh prints (the figure, its
// value and how it was measured, split by tabs so that every program's rows line up); and an empty
// message-only window of the program's own, to time the bare message check the idle tick wraps.
#pragma once

#include "platform/win32.h"
#include "sim/host_double.h"
#include "sim/world.h"

// The world's name, for the rows; scripts/bench.sh runs the Windows programs under Wine.
#ifdef _WIN32
#define BENCH_WORLD "Wine, real DLL"
#else
#define BENCH_WORLD "native"
#endif

// The world opened, with nothing loaded into it; false, with the reason on stderr, if it cannot be.
bool bench_open_world();
// The plug-in loaded, with one MIDI input and one output, and its settling run out. False, with
// the reason on stderr, when it could not be loaded or refused the record.
bool bench_load_settled();
void bench_unload_plugin();

// Main_OnCommand(41175, 0) calls since load.
inline int bench_reset_commands() {
  return host_command_count() - host_unexpected_command_count();
}

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
void bench_row(const char* figure, const char* how, const char* value_format, ...);

// Null, with the reason on stderr, when the class or the window could not be made.
HWND bench_empty_window();
void bench_destroy_empty_window(HWND window);
