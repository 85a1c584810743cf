#include "tests/bench/bench_host.h"

#include <cstdio>

#include "host/plugin_entry.h"
#include "sim/host_double.h"

bool bench_load_plugin(UINT inputs, UINT outputs) {
  sim_reset();
  sim_set_midi_counts(inputs, outputs);
  host_reset();
  if (VelmarPluginEntry(nullptr, host_record()) != 1 || host_tick_address() == nullptr) {
    std::fprintf(stderr, "bench: the plug-in refused the host record\n");
    return false;
  }
  return true;
}

void bench_unload_plugin() {
  VelmarPluginEntry(nullptr, nullptr);
}

void bench_tick() {
  host_call_tick();
}

void bench_ticks(long count) {
  for (long i = 0; i < count; ++i) {
    host_call_tick();
  }
}

int bench_reset_commands() {
  return host_command_count() - host_unexpected_command_count();
}
