// A storm of WM_DEVICECHANGE messages of mixed kinds (make_storm), in either world, as the
// world can deliver it (world_send_storm) and one tick's drain takes it: the time per message, and
// proof that each storm leads to exactly one verification and one reset. Natively 100,000 messages
// wait in the queue for one tick's drain, five times over, and the median is reported; under Wine,
// where each is sent from another thread and delivered by the host's loop, one storm of 10,000.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "monitor/monitor_state.h"
#include "sim/notice_headers.h"
#include "tests/bench/bench_support.h"

namespace {

#ifdef _WIN32
constexpr int STORM_MESSAGES = 10000;
constexpr int STORMS = 1;
#else
constexpr int STORM_MESSAGES = 100000;
constexpr int STORMS = 5;
#endif
// Well past the verification and the reset, so that a second one would be seen.
constexpr long TICKS_AFTER_STORM = 10 * (CHECK_DELAY_TICKS + RESET_DELAY_TICKS);

// A hub of MIDI devices coming and going amid everything else that arrives under WM_DEVICECHANGE:
// every third message an audio-class interface of a device, every seventh a configuration change
// with no header, the rest the hostile storm's headers (sim/notice_headers.h), round and round.
std::vector<WorldNotice> make_storm(int count, int* acted_on) {
  std::vector<HostileMessage> hostile = hostile_storm();
  std::vector<WorldNotice> storm;
  *acted_on = 0;
  for (int i = 0; i < count; ++i) {
    const HostileMessage& other = hostile[static_cast<size_t>(i) % hostile.size()];
    WorldNotice notice{other.event, {}};
    if (i % 3 == 0) {
      DeviceNotice device = interface_notice(device_class_guid(static_cast<DeviceClass>(i % 3)),
                                             "\\\\?\\USB#VID_0000&PID_0000#MIDI");
      notice.header.assign(device.bytes, device.bytes + device.size);
      ++*acted_on;
    } else if (i % 7 == 0) {
      notice.event = DBT_DEVNODES_CHANGED;
    } else if (!other.null_header) {
      notice.header.assign(other.buffer.begin(),
                           other.buffer.begin() + std::min(claimed_size(other), LARGEST_HEADER));
    }
    storm.push_back(notice);
  }
  return storm;
}

}  // namespace

int main() {
  int acted_on = 0;
  std::vector<WorldNotice> storm = make_storm(STORM_MESSAGES, &acted_on);
  if (!bench_load_settled()) {
    return 1;
  }
  std::vector<double> times;
  bool every_storm_verified_once = true;
  for (int i = 0; i < STORMS; ++i) {
    // Plugged in, pulled out, plugged in...: each storm changes the input count, as a device's
    // would, so that its one verification finds a change and schedules its one reset.
    world_set_midi_counts(i % 2 == 0 ? 2 : 1, 1);
    long in_reads = world_midi_reads(true);
    long out_reads = world_midi_reads(false);
    int resets = bench_reset_commands();
    auto start = std::chrono::steady_clock::now();
    bool delivered = world_send_storm(storm);
    host_call_tick();
    double nanoseconds =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    host_call_ticks(TICKS_AFTER_STORM);
    times.push_back(nanoseconds / STORM_MESSAGES);
    every_storm_verified_once =
        every_storm_verified_once && delivered && world_midi_reads(true) == in_reads + 1 &&
        world_midi_reads(false) == out_reads + 1 && bench_reset_commands() == resets + 1;
  }
  bench_unload_plugin();

  std::sort(times.begin(), times.end());
  char how[200];
  std::snprintf(
      how, sizeof how,
      "steady_clock around the delivery of %d (%d audio-class) and the drain; median of %d",
      STORM_MESSAGES, acted_on, STORMS);
  double median = times[times.size() / 2];
  bench_row("storm, time per message (" BENCH_WORLD ")", how, median < 1000 ? "%.1f ns" : "%.2f us",
            median < 1000 ? median : median / 1000);
  bench_row("storm, verifications and resets per storm (" BENCH_WORLD ")",
            "count queries and host commands after each; expected 1 and 1", "%s",
            every_storm_verified_once ? "1 and 1, every storm" : "NOT exactly one");
  return every_storm_verified_once ? 0 : 1;
}
