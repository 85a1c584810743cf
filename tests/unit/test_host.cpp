#include "tests/unit/test_host.h"

#include "host/plugin_entry.h"
#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "sim/player.h"
#include "sim/scenario.h"

HostPluginInfo make_host_record(const std::string& missing) {
  return *host_record(HOST_API_VERSION, host_import_bit(missing.c_str()));
}

int32_t load_plugin(HostPluginInfo* info) {
  return VelmarPluginEntry(nullptr, info);
}

int32_t unload_plugin() {
  return VelmarPluginEntry(nullptr, nullptr);
}

void module_with_host_functions(bool diagnostic) {
  start_fresh_module(diagnostic);
  HostPluginInfo info = make_host_record();
  for (const HostImport& import : host_import_table) {
    monitor_state.host_functions[import.slot] = info.get_function(import.name);
  }
  host_reset();
}

void settled_plugin(unsigned inputs, unsigned outputs, bool diagnostic) {
  start_fresh_module(diagnostic);
  ASSERT_EQ(load_plugin(), 1);
  host_settle(inputs, outputs);
  ASSERT_EQ(monitor_state.init_ticks_left, 0);
  host_clear_journal();
  sim_clear_calls();
}

void run_ticks(int count) {
  for (int i = 0; i < count; ++i) {
    host_pass_tick_period();
    on_timer_tick();
  }
}

void retrieve_messages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

MonitorSnapshot settled(int32_t inputs, int32_t outputs) {
  MonitorSnapshot monitor{};
  monitor.last_in_count = inputs;
  monitor.last_out_count = outputs;
  return monitor;
}

MonitorSnapshot settling(MonitorSnapshot monitor, int32_t ticks_left) {
  monitor.init_ticks_left = ticks_left;
  return monitor;
}

namespace {

// A flag and its countdown are set together, as the plug-in sets them.
MonitorSnapshot pending(MonitorSnapshot monitor, bool MonitorSnapshot::*flag,
                        int32_t MonitorSnapshot::*countdown, int32_t ticks_left) {
  monitor.*flag = true;
  monitor.*countdown = ticks_left;
  return monitor;
}

}  // namespace

MonitorSnapshot verifying(MonitorSnapshot monitor, int32_t ticks_left) {
  return pending(monitor, &MonitorSnapshot::check_pending, &MonitorSnapshot::check_ticks_left,
                 ticks_left);
}

MonitorSnapshot looking(MonitorSnapshot monitor, int32_t ticks_left, bool last) {
  monitor.last_look = last;
  return pending(monitor, &MonitorSnapshot::look_pending, &MonitorSnapshot::look_ticks_left,
                 ticks_left);
}

MonitorSnapshot resetting(MonitorSnapshot monitor, int32_t ticks_left) {
  return pending(monitor, &MonitorSnapshot::reset_pending, &MonitorSnapshot::reset_ticks_left,
                 ticks_left);
}

void play_line(const std::string& line) {
  std::vector<ScenarioStep> steps;
  std::string error;
  ASSERT_TRUE(parse_scenario(line, "test", &steps, &error)) << error;
  for (const ScenarioStep& step : steps) {
    play_step(step);
  }
}

ATOM register_window_class(LPCWSTR name, HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = name;
  return RegisterClassW(&window_class);
}

std::vector<std::string> journal_names() {
  std::vector<std::string> names;
  for (int i = 0; i < sim_journal_length(); ++i) {
    names.emplace_back(sim_call_name(sim_journal_entry(i)));
  }
  return names;
}

int count_reads() {
  return sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) + sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS);
}

std::vector<int> live_objects() {
  return {sim_class_count(), sim_window_count(), sim_registration_count(),
          sim_power_registration_count()};
}
