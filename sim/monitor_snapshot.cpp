#include "sim/monitor_snapshot.h"

#include <sstream>

MonitorSnapshot monitor_snapshot() {
  MonitorSnapshot snapshot;
#define TAKE_FIELD(field) snapshot.field = monitor_state.field;
  MONITOR_TIMING_FIELDS(TAKE_FIELD)
#undef TAKE_FIELD
  return snapshot;
}

void put_monitor_snapshot(const MonitorSnapshot& snapshot) {
#define PUT_FIELD(field) monitor_state.field = snapshot.field;
  MONITOR_TIMING_FIELDS(PUT_FIELD)
#undef PUT_FIELD
}

bool operator==(const MonitorSnapshot& a, const MonitorSnapshot& b) {
#define SAME_FIELD(field) a.field == b.field&&
  return MONITOR_TIMING_FIELDS(SAME_FIELD) true;
#undef SAME_FIELD
}

std::ostream& operator<<(std::ostream& out, const MonitorSnapshot& snapshot) {
  const char* separator = "{";
#define PRINT_FIELD(field)                           \
  out << separator << #field " " << +snapshot.field; \
  separator = ", ";
  MONITOR_TIMING_FIELDS(PRINT_FIELD)
#undef PRINT_FIELD
  return out << "}";
}

std::string snapshot_differences(const MonitorSnapshot& a, const MonitorSnapshot& b,
                                 const char* a_name, const char* b_name) {
  std::ostringstream out;
#define COMPARE_FIELD(field)                                                                  \
  if (a.field != b.field) {                                                                   \
    out << "  " #field ": " << a_name << " " << +a.field << ", " << b_name << " " << +b.field \
        << "\n";                                                                              \
  }
  MONITOR_TIMING_FIELDS(COMPARE_FIELD)
#undef COMPARE_FIELD
  return out.str();
}
