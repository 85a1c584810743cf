#include "tests/unit/test_host.h"

#include <cstring>

#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "platform/windows/notification_window.h"
#include "sim/device_notice.h"
#include "sim/fresh_module.h"

HostPluginInfo make_host_record(const std::string& missing) {
  return *host_record(HOST_API_VERSION, host_import_bit(missing.c_str()));
}

void install_host_functions() {
  HostPluginInfo info = make_host_record();
  for (const HostImport& import : host_import_table) {
    monitor_state.host_functions[import.slot] = info.get_function(import.name);
  }
  host_reset();
}

void reset_world(bool diagnostic) {
  start_fresh_module(diagnostic);
}

void run_ticks(int count) {
  for (int i = 0; i < count; ++i) {
    on_timer_tick();
  }
}

void settle_monitor(unsigned inputs, unsigned outputs, bool diagnostic) {
  reset_world(diagnostic);
  install_host_functions();
  sim_set_midi_counts(inputs, outputs);
  begin_settle();
  run_ticks(INIT_DELAY_TICKS);
  host_clear_journal();
  sim_clear_calls();
}

void settle_with_window(unsigned inputs, unsigned outputs, bool diagnostic) {
  reset_world(diagnostic);
  install_host_functions();
  sim_set_midi_counts(inputs, outputs);
  ASSERT_TRUE(start_device_monitoring());
  ASSERT_NE(monitor_state.notify_window, nullptr);
  run_ticks(INIT_DELAY_TICKS);
  ASSERT_EQ(monitor_state.init_ticks_left, 0);
  host_clear_journal();
  sim_clear_calls();
}

InterfaceHeader make_interface_header(const GUID& interface_class) {
  DeviceNotice built = interface_notice(interface_class, "\\\\?\\USB#VID_0000&PID_0000#MIDI");
  InterfaceHeader notice{};
  static_assert(sizeof notice <= sizeof built.bytes, "a notice holds the header");
  std::memcpy(&notice, built.bytes, sizeof notice);
  return notice;
}
