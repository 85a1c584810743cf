// Drives the reference model and the real plug-in with the same random sequences of ticks, device
// messages, count changes, loads and unloads, and compares what a host can see after every step.
// The plug-in is reached only as a host and the system reach it: through its entry point, the
// tick it registered, the simulated machine, and messages sent to its window from outside, which
// its tick's drain delivers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/plugin_entry.h"
#include "monitor/interface_class.h"
#include "monitor/monitor_state.h"
#include "platform/simulated/sim_control.h"
#include "sim/device_events.h"
#include "sim/fresh_module.h"
#include "sim/host_double.h"
#include "tests/model/reference_model.h"

namespace {

// ---- The host the plug-in is loaded into: the host double (sim/host_double.h) ------------------

// ---- Steps ----------------------------------------------------------------------------------

enum class StepKind { TICK, SEND, COUNTS, PLUG, UNPLUG, LOAD, UNLOAD };

// One step, with every value it needs, so that a shrunk sequence replays the same way.
struct Step {
  StepKind kind;
  ModelEvent event;     // SEND
  uint64_t other_code;  // SEND of kind OTHER: the event code sent
  uint32_t short_size;  // SEND with a TOO_SHORT header: the dbch_size it claims
  int not_audio;        // which non-audio class, for SEND, PLUG and UNPLUG
  uint32_t inputs;      // COUNTS
  uint32_t outputs;
  bool input;             // PLUG, UNPLUG
  ModelClass plug_class;  // PLUG, UNPLUG
  ModelLoad load;         // LOAD
  int32_t wrong_version;  // LOAD of kind WRONG_VERSION
};

// Classes a comparison of part of the GUID would take for audio ones: the last byte, the first
// field, and a whole other class.
const GUID NOT_AUDIO_CLASSES[] = {
    {0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x97}},
    {0x6994AD05, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}},
    USB_DEVICE_INTERFACE,
};
constexpr int NOT_AUDIO_CLASS_COUNT = 3;

const GUID& class_guid(ModelClass interface_class, int not_audio) {
  switch (interface_class) {
    case ModelClass::AUDIO:
      return KSCATEGORY_AUDIO;
    case ModelClass::RENDER:
      return KSCATEGORY_RENDER;
    case ModelClass::CAPTURE:
      return KSCATEGORY_CAPTURE;
    case ModelClass::MIDI_IN_PORT:
      return MIDI_INPUT_PORT_INTERFACE;
    case ModelClass::MIDI_OUT_PORT:
      return MIDI_OUTPUT_PORT_INTERFACE;
    case ModelClass::NOT_AUDIO:
      break;
  }
  return NOT_AUDIO_CLASSES[not_audio % NOT_AUDIO_CLASS_COUNT];
}

uint64_t event_code(const Step& step) {
  switch (step.event.kind) {
    case ModelEventKind::ARRIVAL:
      return 0x8000;
    case ModelEventKind::REMOVAL:
      return 0x8004;
    case ModelEventKind::OTHER:
      break;
  }
  return step.other_code;
}

const char* class_text(ModelClass interface_class) {
  switch (interface_class) {
    case ModelClass::AUDIO:
      return "audio";
    case ModelClass::RENDER:
      return "render";
    case ModelClass::CAPTURE:
      return "capture";
    case ModelClass::MIDI_IN_PORT:
      return "MIDI input port";
    case ModelClass::MIDI_OUT_PORT:
      return "MIDI output port";
    case ModelClass::NOT_AUDIO:
      break;
  }
  return "not-audio";
}

const char* load_text(ModelLoadKind kind) {
  switch (kind) {
    case ModelLoadKind::VALID:
      return "valid record";
    case ModelLoadKind::WRONG_VERSION:
      return "wrong version";
    case ModelLoadKind::NO_GET_FUNCTION:
      return "null get_function";
    case ModelLoadKind::NO_REGISTER_CALLBACK:
      return "null register_callback";
    case ModelLoadKind::MISSING_FUNCTIONS:
      return "missing host functions";
    case ModelLoadKind::CLASS_FAILS:
      return "RegisterClassW fails";
    case ModelLoadKind::WINDOW_FAILS:
      return "CreateWindowExW fails";
    case ModelLoadKind::NOTIFICATION_FAILS:
      return "RegisterDeviceNotificationA fails";
  }
  return "?";
}

std::string describe(const Step& step) {
  std::ostringstream text;
  switch (step.kind) {
    case StepKind::TICK:
      text << "tick";
      break;
    case StepKind::SEND: {
      text << "send WM_DEVICECHANGE 0x" << std::hex << event_code(step) << std::dec;
      if (step.event.header == ModelHeader::NONE) {
        text << " with no header";
      } else {
        text << " with " << class_text(step.event.interface_class) << " interface header";
        if (step.event.header == ModelHeader::WRONG_TYPE) {
          text << " of device type 2";
        } else if (step.event.header == ModelHeader::TOO_SHORT) {
          text << " claiming dbch_size " << step.short_size;
        }
      }
      break;
    }
    case StepKind::COUNTS:
      text << "machine counts in " << step.inputs << ", out " << step.outputs;
      break;
    case StepKind::PLUG:
    case StepKind::UNPLUG:
      text << (step.kind == StepKind::PLUG ? "plug " : "unplug ")
           << (step.input ? "input" : "output") << " of " << class_text(step.plug_class)
           << " class";
      break;
    case StepKind::LOAD:
      text << "load: " << load_text(step.load.kind);
      if (step.load.kind == ModelLoadKind::MISSING_FUNCTIONS) {
        text << " (mask 0x" << std::hex << step.load.missing << std::dec << ")";
      } else if (step.load.kind == ModelLoadKind::WRONG_VERSION) {
        text << " (0x" << std::hex << step.wrong_version << std::dec << ")";
      }
      break;
    case StepKind::UNLOAD:
      text << "unload";
      break;
  }
  return text.str();
}

// ---- Driving the plug-in --------------------------------------------------------------------

void send_to_plugin(const Step& step) {
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"KestruneWindow", nullptr);
  if (window == nullptr) {
    return;
  }
  WPARAM code = static_cast<WPARAM>(event_code(step));
  if (step.event.header == ModelHeader::NONE) {
    sim_send_device_change_from_outside(window, code, nullptr, 0);
    return;
  }
  DeviceNotice notice = interface_notice(class_guid(step.event.interface_class, step.not_audio),
                                         "\\\\?\\MODEL#MIDI#1");
  if (step.event.header == ModelHeader::WRONG_TYPE) {
    put_notice_field(&notice, NOTICE_TYPE_OFFSET, DBT_DEVTYP_VOLUME);
  } else if (step.event.header == ModelHeader::TOO_SHORT) {
    // Every byte of a full header is there; only its size says it ends early.
    put_notice_field(&notice, NOTICE_SIZE_OFFSET, step.short_size);
  }
  sim_send_device_change_from_outside(window, code, notice.bytes, notice.size);
}

SimCall failing_call(ModelLoadKind kind) {
  switch (kind) {
    case ModelLoadKind::CLASS_FAILS:
      return SIM_REGISTER_CLASS_W;
    case ModelLoadKind::WINDOW_FAILS:
      return SIM_CREATE_WINDOW_EX_W;
    default:
      break;
  }
  return SIM_REGISTER_DEVICE_NOTIFICATION_A;
}

int32_t load_plugin(const Step& step) {
  // The model numbers the missing functions in import order, as the host double's bits do.
  HostPluginInfo info = *host_record(
      step.load.kind == ModelLoadKind::WRONG_VERSION ? step.wrong_version : HOST_API_VERSION,
      step.load.kind == ModelLoadKind::MISSING_FUNCTIONS ? step.load.missing : 0);
  if (step.load.kind == ModelLoadKind::NO_REGISTER_CALLBACK) {
    info.register_callback = nullptr;
  }
  if (step.load.kind == ModelLoadKind::NO_GET_FUNCTION) {
    info.get_function = nullptr;
  }
  bool inject = step.load.kind == ModelLoadKind::CLASS_FAILS ||
                step.load.kind == ModelLoadKind::WINDOW_FAILS ||
                step.load.kind == ModelLoadKind::NOTIFICATION_FAILS;
  if (inject) {
    sim_fail_call(failing_call(step.load.kind), ERROR_NOT_ENOUGH_MEMORY, 1);
  }
  int32_t result = VelmarPluginEntry(nullptr, &info);
  if (inject) {
    sim_fail_call(failing_call(step.load.kind), ERROR_SUCCESS, 0);
  }
  return result;
}

// Returns the entry point's result for loads and unloads, 0 otherwise.
int32_t run_on_plugin(const Step& step) {
  switch (step.kind) {
    case StepKind::TICK:
      // A host calls only what it was given; before the first registration there is no tick.
      host_call_tick();
      return 0;
    case StepKind::SEND:
      send_to_plugin(step);
      return 0;
    case StepKind::COUNTS:
      sim_set_midi_counts(step.inputs, step.outputs);
      return 0;
    case StepKind::PLUG:
      sim_plug_device(step.input ? SIM_MIDI_INPUT : SIM_MIDI_OUTPUT,
                      class_guid(step.plug_class, step.not_audio));
      return 0;
    case StepKind::UNPLUG:
      sim_unplug_device(step.input ? SIM_MIDI_INPUT : SIM_MIDI_OUTPUT,
                        class_guid(step.plug_class, step.not_audio));
      return 0;
    case StepKind::LOAD:
      return load_plugin(step);
    case StepKind::UNLOAD:
      return VelmarPluginEntry(nullptr, nullptr);
  }
  return 0;
}

int32_t run_on_model(ModelState* model, const Step& step) {
  switch (step.kind) {
    case StepKind::TICK:
      model_tick(model);
      return 0;
    case StepKind::SEND:
      model_send_device_change(model, step.event);
      return 0;
    case StepKind::COUNTS:
      model_set_counts(model, step.inputs, step.outputs);
      return 0;
    case StepKind::PLUG:
      model_plug(model, step.input, step.plug_class);
      return 0;
    case StepKind::UNPLUG:
      model_unplug(model, step.input, step.plug_class);
      return 0;
    case StepKind::LOAD:
      return model_load(model, step.load);
    case StepKind::UNLOAD:
      return model_unload(model);
  }
  return 0;
}

// ---- Comparing ------------------------------------------------------------------------------

// Everything a step may change that a host, or the system, could observe.
struct Observation {
  int32_t result;
  int32_t last_in_count;
  int32_t last_out_count;
  int32_t init_ticks_left;
  bool check_pending;
  int32_t check_ticks_left;
  bool reset_pending;
  int32_t reset_ticks_left;
  bool port_removed;
  bool look_pending;
  int32_t look_ticks_left;
  bool last_look;
  bool window;
  int windows;
  int classes;
  int registrations;
  bool tick_registered;
  unsigned present_functions;
  int commands_run;
  bool commands_well_formed;
  bool console_well_formed;
};

Observation observe_plugin(int32_t result) {
  Observation seen{};
  seen.result = result;
  seen.last_in_count = monitor_state.last_in_count;
  seen.last_out_count = monitor_state.last_out_count;
  seen.init_ticks_left = monitor_state.init_ticks_left;
  seen.check_pending = monitor_state.check_pending;
  seen.check_ticks_left = monitor_state.check_ticks_left;
  seen.reset_pending = monitor_state.reset_pending;
  seen.reset_ticks_left = monitor_state.reset_ticks_left;
  seen.port_removed = monitor_state.port_removed;
  seen.look_pending = monitor_state.look_pending;
  seen.look_ticks_left = monitor_state.look_ticks_left;
  seen.last_look = monitor_state.last_look;
  seen.window = FindWindowExW(HWND_MESSAGE, nullptr, L"KestruneWindow", nullptr) != nullptr &&
                monitor_state.notify_window != nullptr && monitor_state.notify_handle != nullptr;
  seen.windows = sim_window_count();
  seen.classes = sim_class_count();
  seen.registrations = sim_registration_count();
  seen.tick_registered = host_tick_address() != nullptr;
  for (int slot = 0; slot < MODEL_HOST_FUNCTIONS; ++slot) {
    seen.present_functions |= monitor_state.host_functions[slot] != nullptr ? 1u << slot : 0u;
  }
  seen.commands_run = host_command_count();
  seen.commands_well_formed = host_unexpected_command_count() == 0;
  seen.console_well_formed = host_malformed_line_count() == 0;
  return seen;
}

Observation expect_from_model(const ModelState& model, int32_t result) {
  Observation expected{};
  expected.result = result;
  expected.last_in_count = model.known_in;
  expected.last_out_count = model.known_out;
  expected.init_ticks_left = model.settle_left;
  expected.check_pending = model.check_left > 0;
  expected.check_ticks_left = model.check_left;
  expected.reset_pending = model.reset_left > 0;
  expected.reset_ticks_left = model.reset_left;
  expected.port_removed = model.port_removed;
  expected.look_pending = model.next_look_at > 0;
  expected.look_ticks_left = model.next_look_at - model.since_notice;
  // The last look is the one 80 ticks after the notice.
  expected.last_look = model.next_look_at == 80;
  expected.window = model.loaded;
  int live = model.loaded ? 1 : 0;
  expected.windows = live;
  expected.classes = live;
  // The audio class and the two MIDI port classes.
  expected.registrations = live * 3;
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
void compare_field(std::ostringstream* out, const char* name, T expected, T seen) {
  if (expected != seen) {
    *out << "  " << name << ": model " << expected << ", plug-in " << seen << "\n";
  }
}

// Empty when they agree.
std::string differences(const Observation& expected, const Observation& seen) {
  std::ostringstream out;
  compare_field(&out, "entry point result", expected.result, seen.result);
  compare_field(&out, "last_in_count", expected.last_in_count, seen.last_in_count);
  compare_field(&out, "last_out_count", expected.last_out_count, seen.last_out_count);
  compare_field(&out, "init_ticks_left", expected.init_ticks_left, seen.init_ticks_left);
  compare_field(&out, "check_pending", expected.check_pending, seen.check_pending);
  compare_field(&out, "check_ticks_left", expected.check_ticks_left, seen.check_ticks_left);
  compare_field(&out, "reset_pending", expected.reset_pending, seen.reset_pending);
  compare_field(&out, "reset_ticks_left", expected.reset_ticks_left, seen.reset_ticks_left);
  compare_field(&out, "port_removed", expected.port_removed, seen.port_removed);
  compare_field(&out, "look_pending", expected.look_pending, seen.look_pending);
  compare_field(&out, "look_ticks_left", expected.look_ticks_left, seen.look_ticks_left);
  compare_field(&out, "last_look", expected.last_look, seen.last_look);
  compare_field(&out, "window found and held", expected.window, seen.window);
  compare_field(&out, "live windows", expected.windows, seen.windows);
  compare_field(&out, "registered classes", expected.classes, seen.classes);
  compare_field(&out, "notification registrations", expected.registrations, seen.registrations);
  compare_field(&out, "tick registered as \"timer\"", expected.tick_registered,
                seen.tick_registered);
  compare_field(&out, "host function slots filled (bits)", expected.present_functions,
                seen.present_functions);
  compare_field(&out, "host commands run", expected.commands_run, seen.commands_run);
  compare_field(&out, "every command was (41175, 0)", expected.commands_well_formed,
                seen.commands_well_formed);
  compare_field(&out, "every console line well formed", expected.console_well_formed,
                seen.console_well_formed);
  return out.str();
}

// ---- Running sequences ----------------------------------------------------------------------

struct Outcome {
  bool failed;
  size_t failing_step;
  std::string detail;
};

Outcome run_sequence(const std::vector<Step>& steps, bool verbose, ModelState* model) {
  start_fresh_module(verbose);
  model_start(model, verbose);
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    // The host loads a plug-in once; a second load of a loaded plug-in is outside its contract.
    if (step.kind == StepKind::LOAD && model->loaded && model_load_reaches_start(step.load)) {
      continue;
    }
    int32_t expected_result = run_on_model(model, step);
    int32_t result = run_on_plugin(step);
    std::string diff =
        differences(expect_from_model(*model, expected_result), observe_plugin(result));
    if (!diff.empty()) {
      return Outcome{true, i, diff};
    }
  }
  return Outcome{false, 0, ""};
}

// ---- Random sequences -----------------------------------------------------------------------

// splitmix64: the same sequences from the same seed with any standard library.
uint64_t next_random(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

unsigned below(uint64_t* state, unsigned bound) {
  return static_cast<unsigned>(next_random(state) % bound);
}

bool percent(uint64_t* state, unsigned chance) {
  return below(state, 100) < chance;
}

// Relative weights of the step kinds, and the length range. Steady sessions reach the deep
// states, lifecycle ones the loads and unloads between them, storms the drops and restarts.
struct Profile {
  unsigned tick, send, counts, plug, unplug, load, unload;
  unsigned min_length, max_length;
};

const Profile PROFILES[] = {
    {750, 60, 40, 40, 35, 6, 3, 250, 450},
    {500, 100, 60, 50, 50, 80, 40, 150, 350},
    {350, 400, 80, 80, 80, 6, 3, 200, 400},
    // Ports counted late with no notice of their own, the case the looks are for: long quiet
    // stretches after a notice, with the counts moving in them.
    {900, 15, 45, 10, 10, 2, 1, 250, 450},
};

ModelClass random_class(uint64_t* random, unsigned audio_percent) {
  if (percent(random, audio_percent)) {
    return ModelClass::AUDIO;
  }
  switch (below(random, 5)) {
    case 0:
      return ModelClass::RENDER;
    case 1:
      return ModelClass::CAPTURE;
    case 2:
      return ModelClass::MIDI_IN_PORT;
    case 3:
      return ModelClass::MIDI_OUT_PORT;
    default:
      return ModelClass::NOT_AUDIO;
  }
}

Step random_send(uint64_t* random) {
  Step step{};
  step.kind = StepKind::SEND;
  unsigned kind = below(random, 100);
  step.event.kind = kind < 45   ? ModelEventKind::ARRIVAL
                    : kind < 80 ? ModelEventKind::REMOVAL
                                : ModelEventKind::OTHER;
  // Codes near the two that matter, and the two with their high half set: the code is compared
  // at its full width.
  const uint64_t other_codes[] = {
      0x0007, 0x8001, 0x8003, 0x8006, 0x0018, 0x100008000ull, 0xFFFFFFFF00008004ull};
  step.other_code = other_codes[below(random, 7)];
  unsigned header = below(random, 100);
  step.event.header = header < 70   ? ModelHeader::INTERFACE
                      : header < 80 ? ModelHeader::NONE
                      : header < 90 ? ModelHeader::WRONG_TYPE
                                    : ModelHeader::TOO_SHORT;
  step.short_size = below(random, 28);
  step.event.interface_class = random_class(random, 55);
  step.not_audio = static_cast<int>(below(random, NOT_AUDIO_CLASS_COUNT));
  return step;
}

Step random_load(uint64_t* random) {
  Step step{};
  step.kind = StepKind::LOAD;
  unsigned kind = below(random, 100);
  step.load.kind = kind < 40   ? ModelLoadKind::VALID
                   : kind < 50 ? ModelLoadKind::WRONG_VERSION
                   : kind < 55 ? ModelLoadKind::NO_GET_FUNCTION
                   : kind < 60 ? ModelLoadKind::NO_REGISTER_CALLBACK
                   : kind < 85 ? ModelLoadKind::MISSING_FUNCTIONS
                   : kind < 90 ? ModelLoadKind::CLASS_FAILS
                   : kind < 95 ? ModelLoadKind::WINDOW_FAILS
                               : ModelLoadKind::NOTIFICATION_FAILS;
  // Often one function alone, as a host of another kind would lack it, and most often one of the
  // two the plug-in calls; sometimes several.
  unsigned one_missing = percent(random, 50) ? MODEL_SLOT_MAIN_ON_COMMAND + below(random, 2)
                                             : below(random, MODEL_HOST_FUNCTIONS);
  step.load.missing = percent(random, 60) ? 1u << one_missing : 1u + below(random, 63);
  const int32_t wrong_versions[] = {0x20D, 0x20F, 0, -1, 0x10E, 0x1020E};
  step.wrong_version = wrong_versions[below(random, 6)];
  return step;
}

std::vector<Step> generate(uint64_t seed) {
  uint64_t random = seed;
  const Profile& profile = PROFILES[below(&random, 4)];
  unsigned length = profile.min_length + below(&random, profile.max_length - profile.min_length);
  uint32_t inputs = 0;
  uint32_t outputs = 0;
  std::vector<Step> steps;
  if (percent(&random, 90)) {
    Step load{};
    load.kind = StepKind::LOAD;
    load.load.kind = ModelLoadKind::VALID;
    steps.push_back(load);
    // Mostly right up to the end of settling, sometimes short of it, so events meet both.
    unsigned settling = 60 + below(&random, 36);
    for (unsigned i = 0; i < settling; ++i) {
      steps.push_back(Step{});
    }
  }
  unsigned total = profile.tick + profile.send + profile.counts + profile.plug + profile.unplug +
                   profile.load + profile.unload;
  while (steps.size() < length) {
    unsigned pick = below(&random, total);
    Step step{};
    if (pick < profile.tick) {
      step.kind = StepKind::TICK;
    } else if ((pick -= profile.tick) < profile.send) {
      step = random_send(&random);
    } else if ((pick -= profile.send) < profile.counts) {
      step.kind = StepKind::COUNTS;
      // Mostly one port more or less, as a device comes or goes; sometimes a jump.
      if (percent(&random, 70)) {
        uint32_t& moved = percent(&random, 50) ? inputs : outputs;
        moved = percent(&random, 50) || moved == 0 ? moved + 1 : moved - 1;
      } else {
        inputs = below(&random, 5);
        outputs = below(&random, 5);
      }
      step.inputs = inputs;
      step.outputs = outputs;
    } else if ((pick -= profile.counts) < profile.plug + profile.unplug) {
      step.kind = pick < profile.plug ? StepKind::PLUG : StepKind::UNPLUG;
      step.input = percent(&random, 50);
      step.plug_class = random_class(&random, 70);
      step.not_audio = static_cast<int>(below(&random, NOT_AUDIO_CLASS_COUNT));
      uint32_t& ports = step.input ? inputs : outputs;
      if (step.kind == StepKind::PLUG) {
        ++ports;
      } else if (ports > 0) {
        --ports;
      }
    } else if ((pick -= profile.plug + profile.unplug) < profile.load) {
      step = random_load(&random);
    } else {
      step.kind = StepKind::UNLOAD;
    }
    steps.push_back(step);
  }
  return steps;
}

// ---- Shrinking and reporting ----------------------------------------------------------------

// Drops steps, in halves, quarters and so on down to single steps, for as long as the plug-in
// still departs from the model; what remains is usually a handful of steps.
std::vector<Step> shrink(std::vector<Step> steps, bool verbose) {
  ModelState model;
  Outcome outcome = run_sequence(steps, verbose, &model);
  steps.resize(outcome.failing_step + 1);
  for (size_t chunk = steps.size() / 2; chunk >= 1; chunk /= 2) {
    bool removed = true;
    while (removed) {
      removed = false;
      size_t start = 0;
      while (start + chunk <= steps.size() && steps.size() > 1) {
        std::vector<Step> candidate(steps.begin(), steps.begin() + static_cast<long>(start));
        candidate.insert(candidate.end(), steps.begin() + static_cast<long>(start + chunk),
                         steps.end());
        Outcome trial = run_sequence(candidate, verbose, &model);
        if (trial.failed) {
          candidate.resize(trial.failing_step + 1);
          steps = candidate;
          removed = true;
        } else {
          start += chunk;
        }
      }
    }
    if (chunk == 1) {
      break;
    }
  }
  return steps;
}

std::string report(uint64_t seed, bool verbose, const std::vector<Step>& original) {
  std::vector<Step> shrunk = shrink(original, verbose);
  ModelState model;
  Outcome outcome = run_sequence(shrunk, verbose, &model);
  std::ostringstream text;
  text << "plug-in departs from the model: seed " << seed << ", diagnostics "
       << (verbose ? "on" : "off") << ", shrunk from " << original.size() << " to " << shrunk.size()
       << " steps:\n";
  for (size_t i = 0; i < shrunk.size(); ++i) {
    // Settling alone takes 90 ticks: a run of ticks is one line.
    size_t last = i;
    while (shrunk[i].kind == StepKind::TICK && last + 1 < shrunk.size() &&
           shrunk[last + 1].kind == StepKind::TICK && last + 1 != outcome.failing_step) {
      ++last;
    }
    if (last > i) {
      text << "  " << i << "-" << last << ": tick (" << last - i + 1 << " times)\n";
      i = last;
      continue;
    }
    text << "  " << i << ": " << describe(shrunk[i])
         << (i == outcome.failing_step ? "   <- differs after this step" : "") << "\n";
  }
  text << outcome.detail;
  return text.str();
}

// Thousands of sequences a run by default; more through the environment for a longer search.
int sequences_per_setting() {
  const char* wanted = std::getenv("KESTRUNE_MODEL_SEQUENCES");
  int count = wanted != nullptr ? std::atoi(wanted) : 0;
  return count > 0 ? count : 2500;
}

void expect_plugin_follows_model(bool verbose, uint64_t first_seed) {
  long reached[T_COUNT] = {};
  int sequences = sequences_per_setting();
  for (int n = 0; n < sequences; ++n) {
    uint64_t seed = first_seed + static_cast<uint64_t>(n);
    std::vector<Step> steps = generate(seed);
    ModelState model;
    if (run_sequence(steps, verbose, &model).failed) {
      ADD_FAILURE() << report(seed, verbose, steps);
      return;
    }
    for (int t = 0; t < T_COUNT; ++t) {
      reached[t] += model.transitions[t];
    }
  }
  // Agreement proves little about transitions no sequence took.
  for (int t = 0; t < T_COUNT; ++t) {
    bool immediate = t == T_IDLE_TO_RESET_AT_ONCE || t == T_RESET_RESTARTED_AT_ONCE;
    // A verification without a baseline needs a second load of a loaded plug-in.
    if (t == T_CHECK_ADOPTS_BASELINE || (immediate && !verbose)) {
      continue;
    }
    EXPECT_GT(reached[t], 0) << "no sequence reached: "
                             << model_transition_name(static_cast<ModelTransition>(t));
  }
}

}  // namespace

TEST(ReferenceModel, PluginFollowsModelWithDiagnosticsOff) {
  expect_plugin_follows_model(false, 1);
}

// On, the immediate check at each accepted event can schedule a reset without a verification.
TEST(ReferenceModel, PluginFollowsModelWithDiagnosticsOn) {
  expect_plugin_follows_model(true, 1000001);
}
