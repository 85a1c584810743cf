#include "tests/bench/bench_host.h"

#include <chrono>
#include <cstdio>

#include "host/plugin_entry.h"
#include "monitor/monitor_state.h"
#include "platform/simulated/sim_control.h"

bool bench_load_settled() {
  sim_reset();
  sim_set_midi_counts(1, 1);
  host_reset();
  if (VelmarPluginEntry(nullptr, host_record()) != 1 || host_tick_address() == nullptr) {
    std::fprintf(stderr, "bench: the plug-in refused the host record\n");
    return false;
  }
  host_call_ticks(INIT_DELAY_TICKS);
  if (monitor_state.init_ticks_left != 0 || monitor_state.last_in_count != 1) {
    std::fprintf(stderr, "bench: the plug-in did not settle\n");
    return false;
  }
  return true;
}

void bench_unload_plugin() {
  VelmarPluginEntry(nullptr, nullptr);
}

void bench_fresh_platform() {
  sim_reset();
}

void bench_set_midi_counts(UINT inputs, UINT outputs) {
  sim_set_midi_counts(inputs, outputs);
}

long bench_midi_in_reads() {
  return sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS);
}

long bench_midi_out_reads() {
  return sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS);
}

bool bench_deliver_storm(const std::vector<StormMessage>& storm, double* nanoseconds) {
  HWND window = monitor_state.notify_window;
  for (const StormMessage& message : storm) {
    sim_send_device_change_from_outside(window, message.event,
                                        message.header.empty() ? nullptr : message.header.data(),
                                        message.header.size());
  }
  long reads_before = bench_midi_in_reads();
  auto start = std::chrono::steady_clock::now();
  host_call_tick();
  *nanoseconds =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  // The drain took everything and scheduled one verification, which this tick already counted
  // down once; it has not read the counts yet.
  return sim_queued_message_count(window) == 0 && monitor_state.check_pending &&
         monitor_state.check_ticks_left == CHECK_DELAY_TICKS - 1 &&
         bench_midi_in_reads() == reads_before;
}
