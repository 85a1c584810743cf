// A storm of 100,000 WM_DEVICECHANGE messages of mixed kinds, all waiting in the host thread's
// queue and delivered by one tick's drain: the time per message, and proof that the storm leads
// to exactly one verification and one reset. Repeated a few times; the median is reported.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "monitor/monitor_state.h"
#include "tests/bench/bench_host.h"
#include "tests/bench/bench_table.h"
#include "tests/bench/storm_messages.h"

namespace {

constexpr int STORM_MESSAGES = 100000;
constexpr int STORMS = 5;
// Well past the verification and the reset, so that a second one would be seen.
constexpr long TICKS_AFTER_STORM = 10 * (CHECK_DELAY_TICKS + RESET_DELAY_TICKS);

struct StormOutcome {
  double ns_per_message;
  bool one_verification;
};

void queue_storm(HWND window, const std::vector<StormMessage>& storm) {
  for (const StormMessage& message : storm) {
    sim_send_device_change_from_outside(window, message.event,
                                        message.header.empty() ? nullptr : message.header.data(),
                                        message.header.size());
  }
}

// The counts move before the storm, as a device's would, so that the one verification finds a
// change and schedules the one reset.
StormOutcome run_storm(const std::vector<StormMessage>& storm, UINT inputs) {
  HWND window = monitor_state.notify_window;
  sim_set_midi_counts(inputs, 1);
  queue_storm(window, storm);
  sim_clear_calls();
  int resets_before = bench_reset_commands();

  auto start = std::chrono::steady_clock::now();
  bench_tick();
  auto elapsed = std::chrono::steady_clock::now() - start;

  // The drain took everything and scheduled one verification, which this tick already counted
  // down once; it has not read the counts yet.
  bool scheduled = sim_queued_message_count(window) == 0 && monitor_state.check_pending &&
                   monitor_state.check_ticks_left == CHECK_DELAY_TICKS - 1 &&
                   sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) == 0;
  bench_ticks(TICKS_AFTER_STORM);
  bool verified_once = sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) == 1 &&
                       sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS) == 1 &&
                       monitor_state.last_in_count == static_cast<int32_t>(inputs);
  bool reset_once = bench_reset_commands() == resets_before + 1 && !monitor_state.check_pending &&
                    !monitor_state.reset_pending;
  double ns =
      static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
  return StormOutcome{ns / static_cast<double>(storm.size()),
                      scheduled && verified_once && reset_once};
}

}  // namespace

int main() {
  std::vector<StormMessage> storm = make_storm(STORM_MESSAGES, 0x5EED);
  if (!bench_load_plugin(1, 1)) {
    return 1;
  }
  bench_ticks(INIT_DELAY_TICKS);

  std::vector<double> times;
  bool every_storm_verified_once = true;
  for (int i = 0; i < STORMS; ++i) {
    // Plugged in, pulled out, plugged in...: each storm changes the input count.
    StormOutcome outcome = run_storm(storm, i % 2 == 0 ? 2 : 1);
    times.push_back(outcome.ns_per_message);
    every_storm_verified_once = every_storm_verified_once && outcome.one_verification;
  }
  bench_unload_plugin();

  std::sort(times.begin(), times.end());
  char how[160];
  std::snprintf(how, sizeof how,
                "steady_clock around the one tick that drains %d queued (%d audio-class); "
                "median of %d storms",
                STORM_MESSAGES, count_audio_interface_messages(storm), STORMS);
  bench_row("storm, time per message (native)", how, "%.1f ns", times[times.size() / 2]);
  bench_row("storm, verifications and resets per storm (native)",
            "sim_call_count and host commands after each; expected 1 and 1", "%s",
            every_storm_verified_once ? "1 and 1, every storm" : "NOT exactly one");
  return every_storm_verified_once ? 0 : 1;
}
