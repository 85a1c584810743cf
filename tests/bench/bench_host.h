// The host side of the native benchmarks: loads the plug-in through its entry with the host
// double's record, as the host application does, and calls the tick it registers. The double's
// journal is of fixed size, so that nothing allocates or prints while a measurement runs.
#pragma once

#include "platform/simulated/sim_control.h"

// A fresh simulated machine with the given MIDI counts, and the plug-in loaded on it. False, with
// the reason on stderr, when the plug-in refused the record or registered no tick.
bool bench_load_plugin(UINT inputs, UINT outputs);
void bench_unload_plugin();

void bench_tick();
void bench_ticks(long count);

// Main_OnCommand(41175, 0) calls since load.
int bench_reset_commands();
