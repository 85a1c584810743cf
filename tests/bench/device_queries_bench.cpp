// How often the plug-in asks the system for the MIDI device counts: never while idle, and per
// notice once each when the verification sees the change, twice when the second look does, three
// times when the last look does or nothing changes; as often for a stall as for a notice, and
// once for a resume, which its verification resets. Polling would ask ten times a second or more,
// and on recent MIDI stacks every such query is expensive.
#include <cstdio>

#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "platform/simulated/sim_control.h"
#include "tests/bench/bench_support.h"

namespace {

constexpr long TICKS_PER_SECOND = 30;
constexpr long IDLE_TICKS = 60 * 60 * TICKS_PER_SECOND;
// Well past the last look and a reset after it, so that any later query would be seen.
constexpr long TICKS_AFTER_INSERTION = 2 * (LAST_LOOK_TICKS + RESET_DELAY_TICKS);
// The MIDI service publishes a device's ports once its interfaces have been quiet for 300 ms.
constexpr long TICKS_UNTIL_PORTS = 12;

bool as_expected = true;
int resets_before;

void start_row() {
  sim_clear_calls();
  resets_before = bench_reset_commands();
}

// The queries and the resets since start_row(), well past the last look; expects `reads` of each
// count and `resets` host commands.
void end_row(const char* figure, const char* how, int reads, int resets) {
  host_call_ticks(TICKS_AFTER_INSERTION);
  int in = sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS);
  int out = sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS);
  int made = bench_reset_commands() - resets_before;
  bench_row(figure, how, "%d in, %d out, %d reset", in, out, made);
  as_expected = as_expected && in == reads && out == reads && made == resets;
}

// One notice, the counts moving `late` ticks after it with no notice of their own (never, for a
// negative `late`).
void late_counts_row(const char* figure, const char* how, long late, int reads, int resets) {
  start_row();
  sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
  if (late >= 0) {
    host_call_ticks(late);
    sim_set_midi_counts(static_cast<UINT>(monitor_state.last_in_count) + 1,
                        static_cast<UINT>(monitor_state.last_out_count));
  }
  end_row(figure, how, reads, resets);
}

}  // namespace

int main() {
  if (!bench_load_settled()) {
    return 1;
  }
  start_row();
  host_call_ticks(IDLE_TICKS);
  end_row("device-count queries, 1 h idle (native)",
          "sim_call_count over 108,000 settled ticks (30/s); expected 0", 0, 0);

  start_row();
  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  end_row("device-count queries, 1 insertion (native)",
          "sim_call_count from one plug-in to well past its reset; expected 1 each", 1, 1);

  start_row();
  sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
  host_call_ticks(TICKS_UNTIL_PORTS);
  sim_plug_device(SIM_MIDI_INPUT, MIDI_INPUT_PORT_INTERFACE);
  end_row("device-count queries, 1 insertion, ports 12 ticks late (native)",
          "the same, audio notice first, then the port and its notice; expected 2 each", 2, 1);

  late_counts_row("device-count queries, ports counted 10 ticks late, no notice (native)",
                  "one audio notice, the counts moved after its verification; expected 2 each", 10,
                  2, 1);
  late_counts_row("device-count queries, ports counted 40 ticks late, no notice (native)",
                  "the same, moved after the second look; expected 3 each", 40, 3, 1);
  late_counts_row("device-count queries, a notice that changes nothing (native)",
                  "one audio notice, the counts never move; expected 3 each", -1, 3, 0);
  start_row();
  sim_announce_interface(DBT_DEVICEARRIVAL, MIDI_INPUT_PORT_INTERFACE);
  end_row("device-count queries, a port arrival with the counts unchanged (native)",
          "one MIDI port notice, the counts never move, reset at the last look; expected 3 each", 3,
          1);
  start_row();
  sim_advance_clock(3000);
  end_row("device-count queries, a stall of 3 s with nothing changed (native)",
          "the host's thread blocked 3 s, then ticking again; expected 3 each", 3, 0);
  start_row();
  sim_power_event(PBT_APMRESUMEAUTOMATIC);
  end_row("device-count queries, a resume from sleep (native)",
          "one automatic resume, the counts unchanged, reset at the verification; expected 1 each",
          1, 1);
  bench_unload_plugin();
  if (!as_expected) {
    std::fprintf(stderr, "bench: the plug-in queried the device counts more often than expected\n");
    return 1;
  }
  return 0;
}
