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

// One notice, the counts moving `late` ticks after it with no notice of their own.
void counts_late(long late) {
  sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
  host_call_ticks(late);
  sim_set_midi_counts(static_cast<UINT>(monitor_state.last_in_count) + 1,
                      static_cast<UINT>(monitor_state.last_out_count));
}

// What happens; then each count's queries and the resets expected, to well past the last look.
struct Row {
  const char* figure;
  const char* how;
  void (*happens)();
  int reads;
  int resets;
};

const Row ROWS[] = {
    {"device-count queries, 1 h idle (native)",
     "sim_call_count over 108,000 settled ticks (30/s); expected 0",
     [] { host_call_ticks(IDLE_TICKS); }, 0, 0},
    {"device-count queries, 1 insertion (native)",
     "sim_call_count from one plug-in to well past its reset; expected 1 each",
     [] { sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO); }, 1, 1},
    {"device-count queries, 1 insertion, ports 12 ticks late (native)",
     "the same, audio notice first, then the port and its notice; expected 2 each",
     [] {
       sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
       host_call_ticks(TICKS_UNTIL_PORTS);
       sim_plug_device(SIM_MIDI_INPUT, MIDI_INPUT_PORT_INTERFACE);
     },
     2, 1},
    {"device-count queries, ports counted 10 ticks late, no notice (native)",
     "one audio notice, the counts moved after its verification; expected 2 each",
     [] { counts_late(10); }, 2, 1},
    {"device-count queries, ports counted 40 ticks late, no notice (native)",
     "the same, moved after the second look; expected 3 each", [] { counts_late(40); }, 3, 1},
    {"device-count queries, a notice that changes nothing (native)",
     "one audio notice, the counts never move; expected 3 each",
     [] { sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO); }, 3, 0},
    {"device-count queries, a port arrival with the counts unchanged (native)",
     "one MIDI port notice, the counts never move, reset at the last look; expected 3 each",
     [] { sim_announce_interface(DBT_DEVICEARRIVAL, MIDI_INPUT_PORT_INTERFACE); }, 3, 1},
    {"device-count queries, a stall of 3 s with nothing changed (native)",
     "the host's thread blocked 3 s, then ticking again; expected 3 each",
     [] { sim_advance_clock(3000); }, 3, 0},
    {"device-count queries, a resume from sleep (native)",
     "one automatic resume, the counts unchanged, reset at the verification; expected 1 each",
     [] { sim_power_event(PBT_APMRESUMEAUTOMATIC); }, 1, 1},
};

}  // namespace

int main() {
  if (!bench_load_settled()) {
    return 1;
  }
  bool as_expected = true;
  for (const Row& row : ROWS) {
    sim_clear_calls();
    int resets_before = bench_reset_commands();
    row.happens();
    host_call_ticks(TICKS_AFTER_INSERTION);
    int in = sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS);
    int out = sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS);
    int made = bench_reset_commands() - resets_before;
    bench_row(row.figure, row.how, "%d in, %d out, %d reset", in, out, made);
    as_expected = as_expected && in == row.reads && out == row.reads && made == row.resets;
  }
  bench_unload_plugin();
  if (!as_expected) {
    std::fprintf(stderr, "bench: the plug-in queried the device counts more often than expected\n");
    return 1;
  }
  return 0;
}
