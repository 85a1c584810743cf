// The host side of the benchmarks: one seam, a backend for each world chosen at build time. The
// plug-in linked in on the simulated platform (bench_host.cpp), or the real kestrune.dll with the
// winmm test double, through the Windows tests' host (wine_bench_host.cpp). Either way it is
// ticked through the host double, whose journal is of fixed size, so that nothing allocates or
// prints while a measurement runs.
#pragma once

#include <vector>

#include "platform/win32.h"
#include "sim/host_double.h"
#include "tests/bench/storm_messages.h"

// The world's name, for the rows; scripts/bench.sh runs the Windows programs under Wine.
#ifdef _WIN32
#define BENCH_WORLD "Wine, real DLL"
#else
#define BENCH_WORLD "native"
#endif

// The plug-in loaded, with one MIDI input and one output, and its settling run out. False, with
// the reason on stderr, when it could not be loaded or refused the record, and natively, where
// its state can be read, when it did not settle.
bool bench_load_settled();
void bench_unload_plugin();
// A platform with nothing on it, for a measurement without the plug-in.
void bench_fresh_platform();

void bench_set_midi_counts(UINT inputs, UINT outputs);
// The plug-in's queries of the MIDI input and output counts since load.
long bench_midi_in_reads();
long bench_midi_out_reads();

// Main_OnCommand(41175, 0) calls since load.
inline int bench_reset_commands() {
  return host_command_count() - host_unexpected_command_count();
}

// The storm delivered as the system would deliver it here, and the nanoseconds that took: queued
// for one tick's drain natively; under Wine, where a notice with a header can only be sent and a
// send waits for the host thread, sent by another thread one by one while the host's loop
// delivers each. False when the delivery did not go as it should.
bool bench_deliver_storm(const std::vector<StormMessage>& storm, double* nanoseconds);
