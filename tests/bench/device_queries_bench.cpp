// How often the plug-in asks the system for the MIDI device counts: never while idle, and per
// notice once each when the verification sees the change, twice when the second look does, three
// times when the last look does or nothing changes. Polling would ask ten times a second or more,
// and on recent MIDI stacks every such query is expensive.
#include <cstdio>

#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "tests/bench/bench_host.h"
#include "tests/bench/bench_table.h"

namespace {

constexpr long TICKS_PER_SECOND = 30;
constexpr long IDLE_TICKS = 60 * 60 * TICKS_PER_SECOND;
// Well past the last look and a reset after it, so that any later query would be seen.
constexpr long TICKS_AFTER_INSERTION = 2 * (LAST_LOOK_TICKS + RESET_DELAY_TICKS);
// The MIDI service publishes a device's ports once its interfaces have been quiet for 300 ms.
constexpr long TICKS_UNTIL_PORTS = 12;

bool as_expected = true;

// One notice, the counts moving `late` ticks after it with no notice of their own (never, for a
// negative `late`), then ticks well past the last look; expects `reads` of each count and
// `resets` host commands.
void late_counts_row(const char* figure, const char* how, long late, int reads, int resets) {
  sim_clear_calls();
  int resets_before = bench_reset_commands();
  sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
  if (late >= 0) {
    bench_ticks(late);
    sim_set_midi_counts(static_cast<UINT>(monitor_state.last_in_count) + 1,
                        static_cast<UINT>(monitor_state.last_out_count));
  }
  bench_ticks(TICKS_AFTER_INSERTION);
  int in = sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS);
  int out = sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS);
  int made = bench_reset_commands() - resets_before;
  bench_row(figure, how, "%d in, %d out, %d reset", in, out, made);
  as_expected = as_expected && in == reads && out == reads && made == resets;
}

}  // namespace

int main() {
  if (!bench_load_plugin(1, 1)) {
    return 1;
  }
  bench_ticks(INIT_DELAY_TICKS);
  if (monitor_state.init_ticks_left != 0) {
    std::fprintf(stderr, "bench: the plug-in did not settle\n");
    return 1;
  }

  sim_clear_calls();
  bench_ticks(IDLE_TICKS);
  as_expected = sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) == 0 &&
                sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS) == 0;
  bench_row("device-count queries, 1 h idle (native)",
            "sim_call_count over 108,000 settled ticks (30/s); expected 0", "%d in, %d out",
            sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS), sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS));

  sim_clear_calls();
  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  bench_ticks(TICKS_AFTER_INSERTION);
  bench_row("device-count queries, 1 insertion (native)",
            "sim_call_count from one plug-in to well past its reset; expected 1 each",
            "%d in, %d out, %d reset", sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS),
            sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS), bench_reset_commands());
  as_expected = as_expected && sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) == 1 &&
                sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS) == 1 && bench_reset_commands() == 1;

  sim_clear_calls();
  sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
  bench_ticks(TICKS_UNTIL_PORTS);
  sim_plug_device(SIM_MIDI_INPUT, MIDI_INPUT_PORT_INTERFACE);
  bench_ticks(TICKS_AFTER_INSERTION);
  bench_row("device-count queries, 1 insertion, ports 12 ticks late (native)",
            "the same, audio notice first, then the port and its notice; expected 2 each",
            "%d in, %d out, %d reset", sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS),
            sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS), bench_reset_commands() - 1);
  as_expected = as_expected && sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) == 2 &&
                sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS) == 2 && bench_reset_commands() == 2;

  late_counts_row("device-count queries, ports counted 10 ticks late, no notice (native)",
                  "one audio notice, the counts moved after its verification; expected 2 each", 10,
                  2, 1);
  late_counts_row("device-count queries, ports counted 40 ticks late, no notice (native)",
                  "the same, moved after the second look; expected 3 each", 40, 3, 1);
  late_counts_row("device-count queries, a notice that changes nothing (native)",
                  "one audio notice, the counts never move; expected 3 each", -1, 3, 0);
  bench_unload_plugin();
  if (!as_expected) {
    std::fprintf(stderr, "bench: the plug-in queried the device counts more often than expected\n");
    return 1;
  }
  return 0;
}
