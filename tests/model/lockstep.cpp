#include "tests/model/lockstep.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "monitor/monitor_state.h"
#include "platform/simulated/sim_control.h"
#include "platform/windows/window_class.h"
#include "sim/fresh_module.h"
#include "sim/host_double.h"
#include "sim/monitor_snapshot.h"
#include "sim/player.h"
#include "sim/transcript.h"

namespace {

// What a host or the system could see a step change, besides the monitor's timing, each named.
#define OBSERVED(X)                                                   \
  X(int64_t, answer, "answer to the step")                            \
  X(bool, window, "window found and held")                            \
  X(int, windows, "live windows")                                     \
  X(int, classes, "registered classes")                               \
  X(int, registrations, "notification registrations")                 \
  X(int, resume_registrations, "suspend/resume registrations")        \
  X(bool, tick_registered, "tick registered as \"timer\"")            \
  X(unsigned, present_functions, "host function slots filled (bits)") \
  X(int, commands_run, "host commands run")                           \
  X(bool, commands_well_formed, "every command was (41175, 0)")       \
  X(bool, console_well_formed, "every console line and host lookup well formed")

struct Observation {
  MonitorSnapshot monitor;
#define OBSERVATION_FIELD(type, field, name) type field;
  OBSERVED(OBSERVATION_FIELD)
#undef OBSERVATION_FIELD
};

Observation observe_plugin(int64_t answer) {
  Observation seen{};
  seen.answer = answer;
  seen.monitor = monitor_snapshot();
  seen.window = FindWindowExW(HWND_MESSAGE, nullptr, WINDOW_CLASS_NAME, nullptr) != nullptr &&
                monitor_state.notify_window != nullptr && monitor_state.notify_handle != nullptr;
  seen.windows = sim_window_count();
  seen.classes = sim_class_count();
  seen.registrations = sim_registration_count();
  seen.resume_registrations = sim_power_registration_count();
  seen.tick_registered = host_tick_address() != nullptr;
  for (int slot = 0; slot < MODEL_HOST_FUNCTIONS; ++slot) {
    seen.present_functions |= monitor_state.host_functions[slot] != nullptr ? 1u << slot : 0u;
  }
  seen.commands_run = host_command_count();
  seen.commands_well_formed = host_unexpected_command_count() == 0;
  seen.console_well_formed = host_malformed_line_count() == 0 && host_unknown_name_count() == 0;
  return seen;
}

Observation expect_from_model(const ModelState& model, int64_t answer) {
  Observation expected{};
  expected.answer = answer;
  MonitorSnapshot& monitor = expected.monitor;
  monitor.last_in_count = model.known_in;
  monitor.last_out_count = model.known_out;
  monitor.init_ticks_left = model.settle_left;
  monitor.check_pending = model.verification_left > 0;
  monitor.check_ticks_left = model.verification_left;
  monitor.look_pending = model.next_look_at > 0;
  monitor.look_ticks_left = model.next_look_at - model.since_notice;
  monitor.last_look = model.next_look_at == MODEL_LAST_LOOK_AT;
  monitor.reset_pending = model.reset_left > 0;
  monitor.reset_ticks_left = model.reset_left;
  monitor.port_removed = model.port_removed;
  monitor.port_arrived = model.port_arrived;
  monitor.resumed = model.resumed;
  expected.window = model.loaded;
  expected.windows = model.loaded ? 1 : 0;
  expected.classes = model.loaded ? 1 : 0;
  expected.registrations = model.registrations;
  expected.resume_registrations = model.loaded && model.resume_registered ? 1 : 0;
  expected.tick_registered = model.tick_registered;
  for (int slot = 0; slot < MODEL_HOST_FUNCTIONS; ++slot) {
    expected.present_functions |= model.host_function_present[slot] ? 1u << slot : 0u;
  }
  expected.commands_run = model.commands_run;
  expected.commands_well_formed = true;
  expected.console_well_formed = true;
  return expected;
}

template <typename T>
void compare(std::ostringstream* out, const char* name, T expected, T seen) {
  if (expected != seen) {
    *out << "  " << name << ": model " << +expected << ", plug-in " << +seen << "\n";
  }
}

std::string differences(const Observation& expected, const Observation& seen) {
  std::ostringstream out;
#define COMPARE_FIELD(type, field, name) compare(&out, name, expected.field, seen.field);
  OBSERVED(COMPARE_FIELD)
#undef COMPARE_FIELD
  out << snapshot_differences(expected.monitor, seen.monitor, "model", "plug-in");
  return out.str();
}

}  // namespace

void start_lockstep(ModelState* model, bool diagnostic) {
  start_fresh_module(diagnostic);
  transcript_begin(false);
  begin_playing();
  model_start(model, diagnostic);
}

std::string step_in_lockstep(ModelState* model, const ScenarioStep& step) {
  int64_t expected = model_step(model, step);
  int64_t answer = play_step(step);
  return differences(expect_from_model(*model, expected), observe_plugin(answer));
}

std::string write_counterexample(const char* default_path, bool diagnostic,
                                 const std::vector<std::string>& steps,
                                 const std::string& differences) {
  std::string scenario = std::string("# The plug-in departs from the reference model after the ") +
                         "last step, diagnostics " + (diagnostic ? "on" : "off") + ":\n";
  std::istringstream lines(differences);
  for (std::string line; std::getline(lines, line);) {
    scenario += "#" + line + "\n";
  }
  for (const std::string& step : steps) {
    scenario += step + "\n";
  }
  const char* path = std::getenv("KESTRUNE_COUNTEREXAMPLE");
  if (std::FILE* file = std::fopen(path != nullptr ? path : default_path, "w")) {
    std::fputs(scenario.c_str(), file);
    std::fclose(file);
  }
  return scenario;
}
