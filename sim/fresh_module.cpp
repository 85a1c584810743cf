#include "sim/fresh_module.h"

#include "monitor/monitor_state.h"
#include "platform/simulated/sim_control.h"
#include "sim/host_double.h"

void start_fresh_module(bool diagnostic) {
  sim_reset();
  monitor_state = MONITOR_STATE_AT_LOAD;
  monitor_state.verbose_log = diagnostic;
  host_reset();
}
