// Scenario files: a whole session, one step per line, read into steps before anything runs, so
// that a bad file is reported before the plug-in is touched.
//
//   tick [N]                            run N ticks (default 1)
//   load                                load with a valid record
//   load version V | load missing NAME  load with a record the plug-in must refuse
//   unload                              unload (a null record); the tick stays registered
//   counts IN OUT                       set the MIDI port counts, without any notification
//   plug input|output [CLASS]           one more port, then its arrival
//   unplug input|output [CLASS]         one port less, then its removal
//   notify arrival|removal [CLASS|short]  a notification alone, counts unchanged
//   notify code V                       another event type, second parameter 0
//
// CLASS is audio (the default), render, capture, midi-in, midi-out (the interfaces of single MIDI
// ports) or other. Numbers are decimal or 0x-hex.
// "#" starts a comment; blank lines are ignored. A machine starts with no MIDI ports.
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
  STEP_NOTIFY
};

// What a notification carries as its second parameter.
enum NotifyHeader {
  NOTIFY_INTERFACE_HEADER,  // a device-interface header of the step's class
  NOTIFY_SHORT_HEADER,      // a header cut after its first three fields
  NOTIFY_NO_HEADER          // 0
};

struct ScenarioStep {
  StepKind kind;
  int line;
  std::string text;  // the step as the transcript shows it
  long ticks;
  int32_t api_version;
  std::string missing_function;
  unsigned inputs;
  unsigned outputs;
  bool input_port;
  DeviceClass device_class;
  uint32_t event_code;
  NotifyHeader header;
};

// Largest values a step accepts: enough for any session, small enough that no file can keep
// velmar-sim busy for long.
constexpr long MAX_TICKS_PER_STEP = 100000;
constexpr long MAX_TICKS_PER_SCENARIO = 1000000;
constexpr unsigned MAX_PORTS = 1000;

// On failure, `error` reads "NAME:LINE: what is wrong" and `steps` is left incomplete. A source
// without a single step is refused.
bool parse_scenario(const std::string& source, const std::string& name,
                    std::vector<ScenarioStep>* steps, std::string* error);

// Reads a whole scenario file; on failure `error` says why.
bool read_text_file(const std::string& path, std::string* text, std::string* error);
