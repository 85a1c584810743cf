#include "tests/unit/test_host.h"

#include <cstring>

#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "platform/windows/notification_window.h"

std::vector<std::string> host_console;
std::vector<HostCommand> host_commands;
std::vector<std::string> host_requested_names;
std::vector<std::string> host_registered_names;
void* host_registered_tick;

namespace {

std::string missing_function;

void host_show_console_msg(const char* text) {
  host_console.emplace_back(text);
}

void host_main_on_command(int32_t command, int32_t flag) {
  host_commands.push_back(HostCommand{command, flag});
}

// Never called by the plug-in; distinct addresses so a test can tell the slots apart.
void host_get_midi_input_name() {}
void host_get_midi_output_name() {}
void host_get_num_midi_inputs() {}
void host_get_num_midi_outputs() {}

void* host_function(const char* name) {
  std::string wanted(name);
  if (wanted == missing_function) {
    return nullptr;
  }
  if (wanted == "GetMIDIInputName") {
    return reinterpret_cast<void*>(&host_get_midi_input_name);
  }
  if (wanted == "GetMIDIOutputName") {
    return reinterpret_cast<void*>(&host_get_midi_output_name);
  }
  if (wanted == "GetNumMIDIInputs") {
    return reinterpret_cast<void*>(&host_get_num_midi_inputs);
  }
  if (wanted == "GetNumMIDIOutputs") {
    return reinterpret_cast<void*>(&host_get_num_midi_outputs);
  }
  if (wanted == "Main_OnCommand") {
    return reinterpret_cast<void*>(&host_main_on_command);
  }
  if (wanted == "ShowConsoleMsg") {
    return reinterpret_cast<void*>(&host_show_console_msg);
  }
  return nullptr;
}

void* get_function(const char* name) {
  host_requested_names.emplace_back(name);
  return host_function(name);
}

int register_callback(const char* name, void* value) {
  host_registered_names.emplace_back(name);
  host_registered_tick = value;
  return 1;
}

}  // namespace

HostPluginInfo make_host_record(const std::string& missing) {
  missing_function = missing;
  HostPluginInfo info{};
  info.api_version = HOST_API_VERSION;
  info.register_callback = register_callback;
  info.get_function = get_function;
  return info;
}

void install_host_functions() {
  missing_function.clear();
  for (const HostImport& import : host_import_table) {
    monitor_state.host_functions[import.slot] = host_function(import.name);
  }
}

void reset_world(bool verbose) {
  sim_reset();
  // The module's state at load: everything zero but the unread counts.
  monitor_state = MonitorState{};
  monitor_state.last_in_count = UNSET_COUNT;
  monitor_state.last_out_count = UNSET_COUNT;
  monitor_state.verbose_log = verbose;
  host_console.clear();
  host_commands.clear();
  host_requested_names.clear();
  host_registered_names.clear();
  host_registered_tick = nullptr;
  missing_function.clear();
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
  host_console.clear();
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
  host_console.clear();
  sim_clear_calls();
}

InterfaceHeader make_interface_header(const GUID& interface_class) {
  InterfaceHeader notice{};
  notice.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  notice.header.dbcc_classguid = interface_class;
  const char name[] = "\\\\?\\USB#VID_0000&PID_0000#MIDI";
  std::memcpy(notice.header.dbcc_name, name, sizeof name);
  notice.header.dbcc_size =
      static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + sizeof name);
  return notice;
}
