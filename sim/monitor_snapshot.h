// The monitor's timing as one value: its baseline counts, its countdowns and what it remembers.
// The tests and the reference model compare it, put it in place, and print it when a comparison
// fails. Native only: it reads the plug-in's state directly.
#pragma once

#include <ostream>
#include <string>

#include "monitor/monitor_state.h"

#define MONITOR_TIMING_FIELDS(X) \
  X(last_in_count)               \
  X(last_out_count)              \
  X(init_ticks_left)             \
  X(check_pending)               \
  X(check_ticks_left)            \
  X(look_pending)                \
  X(look_ticks_left)             \
  X(last_look)                   \
  X(reset_pending)               \
  X(reset_ticks_left)            \
  X(port_removed)                \
  X(port_arrived)                \
  X(resumed)

struct MonitorSnapshot {
#define MONITOR_SNAPSHOT_FIELD(field) decltype(MonitorState::field) field;
  MONITOR_TIMING_FIELDS(MONITOR_SNAPSHOT_FIELD)
#undef MONITOR_SNAPSHOT_FIELD
};

// The plug-in's as it is now, and the plug-in's made so.
MonitorSnapshot monitor_snapshot();
void put_monitor_snapshot(const MonitorSnapshot& snapshot);

bool operator==(const MonitorSnapshot& a, const MonitorSnapshot& b);
std::ostream& operator<<(std::ostream& out, const MonitorSnapshot& snapshot);

// One line per field that differs, "  name: A_NAME a, B_NAME b"; empty when they agree.
std::string snapshot_differences(const MonitorSnapshot& a, const MonitorSnapshot& b,
                                 const char* a_name, const char* b_name);
