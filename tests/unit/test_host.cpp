#include "tests/unit/test_host.h"

#include <cstring>

#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "platform/windows/notification_window.h"
#include "sim/device_notice.h"
#include "sim/fresh_module.h"

std::vector<std::string> host_console() {
  std::vector<std::string> lines;
  for (int i = 0; i < host_event_count(); ++i) {
    if (host_event(i).kind == HOST_CONSOLE) {
      lines.emplace_back(host_event(i).text);
    }
  }
  return lines;
}

std::vector<HostCommand> host_commands() {
  std::vector<HostCommand> commands;
  for (int i = 0; i < host_event_count(); ++i) {
    if (host_event(i).kind == HOST_COMMAND) {
      commands.push_back(HostCommand{host_event(i).command, host_event(i).flag});
    }
  }
  return commands;
}

std::vector<std::string> host_lookups() {
  std::vector<std::string> names;
  for (int i = 0; i < host_lookup_count() && i < HOST_NAMES_KEPT; ++i) {
    names.emplace_back(host_lookup(i));
  }
  return names;
}

std::vector<std::string> host_registrations() {
  std::vector<std::string> names;
  for (int i = 0; i < host_registration_count() && i < HOST_NAMES_KEPT; ++i) {
    names.emplace_back(host_registration(i));
  }
  return names;
}

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

void reset_world(bool verbose) {
  start_fresh_module(verbose);
}

void run_ticks(int count) {
  for (int i = 0; i < count; ++i) {
    on_timer_tick();
  }
}

void settle_monitor(unsigned inputs, unsigned outputs, bool verbose) {
  reset_world(verbose);
  install_host_functions();
  sim_set_midi_counts(inputs, outputs);
  begin_settle();
  run_ticks(INIT_DELAY_TICKS);
  host_clear_journal();
  sim_clear_calls();
}

void settle_with_window(unsigned inputs, unsigned outputs, bool verbose) {
  reset_world(verbose);
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
