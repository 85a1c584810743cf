#include "monitor/monitor_state.h"

// Before the host calls anything; also where the tests start every fresh module, and the probe's
// replay its monitor.
const MonitorState MONITOR_STATE_AT_LOAD = {
    UNSET_COUNT,           // last_in_count
    UNSET_COUNT,           // last_out_count
    0,                     // init_ticks_left
    false,                 // check_pending
    0,                     // check_ticks_left
    false,                 // reset_pending
    0,                     // reset_ticks_left
    false,                 // port_removed
    false,                 // port_arrived
    false,                 // resumed
    false,                 // look_pending
    0,                     // look_ticks_left
    false,                 // last_look
    nullptr,               // notify_window
    nullptr,               // notify_handle
    nullptr,               // input_port_notify_handle
    nullptr,               // output_port_notify_handle
    nullptr,               // power_notify_handle
    0,                     // last_tick_ms
    0,                     // events_accepted
    {},                    // host_functions
    VERBOSE_LOG_BUILT_IN,  // verbose_log
};

MonitorState monitor_state = MONITOR_STATE_AT_LOAD;

// Runs before the notification window exists, so that anything the window receives while it
// is being set up is dropped as arriving during settling. The first tick of a load has no tick
// before it to be late after.
void begin_settle() {
  monitor_state.last_in_count = UNSET_COUNT;
  monitor_state.last_out_count = UNSET_COUNT;
  monitor_state.init_ticks_left = INIT_DELAY_TICKS;
  monitor_state.last_tick_ms = 0;
  forget_records();
  end_looks();
}

// A reset left over from an earlier load belongs to devices the host has since re-enumerated.
// A pending verification is kept: it compares the counts against whatever baseline is known when
// it runs, and adopts them as the baseline when none is.
void settle_after_load() {
  monitor_state.reset_pending = false;
  monitor_state.reset_ticks_left = 0;
  forget_records();
  end_looks();
  if (monitor_state.init_ticks_left == 0) {
    monitor_state.init_ticks_left = INIT_DELAY_TICKS;
    monitor_state.last_in_count = UNSET_COUNT;
    monitor_state.last_out_count = UNSET_COUNT;
  }
}

// The host keeps calling the tick after unload; with nothing pending and no window, every
// such tick finds nothing to do. Host slots and the diagnostic switch stay as they are.
void reset_to_idle() {
  monitor_state.reset_pending = false;
  monitor_state.reset_ticks_left = 0;
  monitor_state.init_ticks_left = 0;
  monitor_state.last_in_count = UNSET_COUNT;
  monitor_state.last_out_count = UNSET_COUNT;
  monitor_state.check_pending = false;
  monitor_state.check_ticks_left = 0;
  monitor_state.last_tick_ms = 0;
  forget_records();
  end_looks();
}

// Restarts a reset already pending: the devices are re-opened once, after the latest change.
void schedule_reset() {
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = RESET_DELAY_TICKS;
  forget_records();
}

void forget_records() {
  monitor_state.port_removed = false;
  monitor_state.port_arrived = false;
  monitor_state.resumed = false;
}

// Counted from the notice, like the verification that starts them.
void start_looks() {
  monitor_state.look_pending = true;
  monitor_state.look_ticks_left = SECOND_LOOK_TICKS - CHECK_DELAY_TICKS;
  monitor_state.last_look = false;
}

void end_looks() {
  monitor_state.look_pending = false;
  monitor_state.look_ticks_left = 0;
  monitor_state.last_look = false;
}
