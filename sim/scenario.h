// Scenario files: a whole session, one step per line, read before anything runs, so that a bad file
// is reported before the plug-in is touched. The same steps drive the reference model and the
// fuzzer, so a counterexample of either is a scenario anyone can replay; docs/testing.md lists the
// words. The real DLL's velmar-sim refuses the steps only the simulated platform has: failing a
// call, "now" and "poisoned" headers, headers under 12 bytes (dropped by Wine's marshalling), other
// window messages (whose parameters the real default procedure may read as pointers).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/device_events.h"

enum StepKind {
  STEP_TICK,
  STEP_LOAD,
  STEP_UNLOAD,
  STEP_COUNTS,
  STEP_PLUG,
  STEP_UNPLUG,
  STEP_NOTIFY,
  STEP_MESSAGE,
  STEP_FAIL,
  STEP_STALL,
  STEP_POWER
};

// What a notification carries as its second parameter.
enum NotifyHeader {
  NOTIFY_INTERFACE_HEADER,  // a device-interface header of the step's class
  NOTIFY_SHORT_HEADER,      // a header cut after its first three fields
  NOTIFY_NO_HEADER,         // 0
  NOTIFY_BYTES,             // exactly the step's bytes
  NOTIFY_POISONED           // a pointer to memory that must never be read
};

// A record of the kind a load passes.
enum LoadRecord { RECORD_VALID, RECORD_NULL_GET_FUNCTION, RECORD_NULL_REGISTER_CALLBACK };

struct ScenarioStep {
  StepKind kind;
  int line;
  std::string text;  // the step as a scenario line reads it, and the transcript shows it
  bool native_only;
  long ticks;
  // Load.
  int32_t api_version;
  unsigned missing_functions;  // one bit per host function, in import order
  LoadRecord record;
  // Counts.
  unsigned inputs;
  unsigned outputs;
  // Stall: how long, and the one step that happens meanwhile, if any.
  unsigned stall_ms;
  std::vector<ScenarioStep> during;
  // Plug, unplug and notify; power's event is in event_code.
  bool input_port;
  DeviceClass device_class;
  uint64_t event_code;
  NotifyHeader header;
  uint32_t header_size;  // NOTIFY_INTERFACE_HEADER: the dbch_size it claims; 0 for its own size
  uint32_t device_type;  // NOTIFY_INTERFACE_HEADER
  std::vector<unsigned char> bytes;  // NOTIFY_BYTES
  bool now;
  // Message.
  uint32_t message;
  uint64_t first;
  uint64_t second;
  bool post;
  // Fail.
  std::string call;
  int nth;
  uint32_t error;
};

// Largest values a step accepts: enough for any session, small enough that no file can keep
// velmar-sim busy for long.
constexpr long MAX_TICKS_PER_STEP = 100000;
constexpr long MAX_TICKS_PER_SCENARIO = 1000000;
constexpr unsigned MAX_PORTS = 1000;
constexpr unsigned MAX_STALL_MS = 60000;
constexpr size_t MAX_HEADER_BYTES = 128;  // the size a header may claim

// Reads a session one line at a time, keeping what later lines depend on: the ports a later
// unplug needs, and the ticks so far.
struct ScenarioReader {
  std::string name;
  int line;
  unsigned inputs;
  unsigned outputs;
  long ticks;
};

ScenarioReader scenario_reader(const std::string& name);
// One line: true with `*step` filled, or `*has_step` false for a blank or comment line; false
// with `error` reading "NAME:LINE: what is wrong".
bool read_scenario_line(ScenarioReader* reader, const std::string& line, ScenarioStep* step,
                        bool* has_step, std::string* error);

// A whole source; one without a single step is refused. On failure `error` says where.
bool parse_scenario(const std::string& source, const std::string& name,
                    std::vector<ScenarioStep>* steps, std::string* error);

// Reads a whole scenario file; on failure `error` says why.
bool read_text_file(const std::string& path, std::string* text, std::string* error);
