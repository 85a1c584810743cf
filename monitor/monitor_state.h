// The reset monitor's one record of everything it knows, and the operations that put parts of it
// back to known values at start, after load and at unload.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "monitor/tick_delays.h"
#include "platform/win32.h"

// 0 is a real count (no devices), so "not read yet" needs a value of its own.
constexpr int32_t UNSET_COUNT = -1;
constexpr int32_t RESET_COMMAND_ID = 41175;
constexpr int LOG_BUFFER_SIZE = 256;

// The DLL's switch is fixed when it is built, and nothing in the plug-in turns it on or off. The
// native builds keep it in the state all the same (console_log.h), so that tests can set it.
#ifdef KESTRUNE_VERBOSE_LOG
constexpr bool VERBOSE_LOG_BUILT_IN = true;
#else
constexpr bool VERBOSE_LOG_BUILT_IN = false;
#endif

struct MonitorState {
  int32_t last_in_count;
  int32_t last_out_count;
  int32_t init_ticks_left;
  bool check_pending;
  int32_t check_ticks_left;
  bool reset_pending;
  int32_t reset_ticks_left;
  // A MIDI port interface went away since the last verification. A port removed while the host
  // has it open is dead for good, even when a re-plug brings the counts back to what they were.
  bool port_removed;
  // A MIDI port interface came since the reset last scheduled. The MIDI service's counts are the
  // highest port number it assigned, so a new port that takes a free number below it leaves them
  // as they were: its series then ends in a reset at its last look.
  bool port_arrived;
  // The system resumed from sleep since the last verification: the open MIDI handles may have
  // come back dead with no device notice at all.
  bool resumed;
  // A look at the counts is waiting; the one counted down is the series' last when last_look.
  bool look_pending;
  int32_t look_ticks_left;
  bool last_look;
  HWND notify_window;
  HDEVNOTIFY notify_handle;  // the audio class
  // The two MIDI port classes: optional, so either may stay null while the audio class is heard.
  HDEVNOTIFY input_port_notify_handle;
  HDEVNOTIFY output_port_notify_handle;
  // Optional as well: without it a resume is seen only as the stall its sleep leaves.
  HPOWERNOTIFY power_notify_handle;
  // When the last tick ran, by the platform's clock (read_clock_ms); 0 before the first tick of
  // a load.
  uint64_t last_tick_ms;
  // Counts every accepted notice and resume, so that a tick can tell whether its drain took one.
  uint32_t events_accepted;
  void* host_functions[HOST_FUNCTION_COUNT];
  bool verbose_log;
};

extern const MonitorState MONITOR_STATE_AT_LOAD;
extern MonitorState monitor_state;

inline MainOnCommandFn host_main_on_command() {
  return reinterpret_cast<MainOnCommandFn>(monitor_state.host_functions[SLOT_MAIN_ON_COMMAND]);
}

inline ShowConsoleMsgFn host_show_console_msg() {
  return reinterpret_cast<ShowConsoleMsgFn>(monitor_state.host_functions[SLOT_SHOW_CONSOLE_MSG]);
}

void begin_settle();
void settle_after_load();
void reset_to_idle();
// The host's reset command, RESET_DELAY_TICKS from now; a removed or arrived port and a resume
// are then taken care of.
void schedule_reset();
// The port and resume records: what they ask for is done, or belongs to devices a load or an
// unload has the host re-open anyway.
void forget_records();
// The second look, counted from the notice of a verification that saw no change.
void start_looks();
// For whatever makes the waiting looks pointless: a new notice, settling, an unload.
void end_looks();
