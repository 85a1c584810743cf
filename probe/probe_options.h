// The probe's command line.
#pragma once

#include <cstdint>

struct ProbeOptions {
  bool all_classes;  // every interface class, not only the plug-in's three
  int32_t seconds;   // 0: until Ctrl+C
  int32_t tick_ms;   // the host's tick period the verdict assumes
  bool help;         // the usage on stdout, and nothing else
  // For a test alone, and left out of the usage: the probe calls its own console control handler
  // for the console window's close, which no other process can send it.
  bool test_console_close;
};

extern const char PROBE_USAGE[];

// False for anything it does not know or a number out of range; `options` is then unspecified.
bool parse_probe_options(int argc, char** argv, ProbeOptions* options);
