#include "probe/probe_options.h"

#include <cstring>

const char PROBE_USAGE[] =
    "usage: kestrune-probe [--all] [--seconds N] [--tick-ms T] [--help]\n"
    "  --all         listen to every device-interface class, not only the plug-in's\n"
    "  --seconds N   stop after N seconds (1 to 86400); without it, run until Ctrl+C\n"
    "  --tick-ms T   the host's tick period in ms for the verdict (1 to 500, default 33)\n"
    "  --help        print this and exit\n";

namespace {

constexpr int32_t DEFAULT_TICK_MS = 33;

// Digits only, so that "5s" or "-1" is refused rather than read as far as it makes sense.
bool parse_number(const char* text, int32_t low, int32_t high, int32_t* value) {
  if (text == nullptr || *text == '\0' || std::strlen(text) > 9) {
    return false;
  }
  int32_t number = 0;
  for (const char* digit = text; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9') {
      return false;
    }
    number = number * 10 + (*digit - '0');
  }
  if (number < low || number > high) {
    return false;
  }
  *value = number;
  return true;
}

}  // namespace

bool parse_probe_options(int argc, char** argv, ProbeOptions* options) {
  *options = ProbeOptions{false, 0, DEFAULT_TICK_MS, false, false};
  for (int i = 1; i < argc; ++i) {
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(argv[i], "--all") == 0) {
      options->all_classes = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      options->help = true;
    } else if (std::strcmp(argv[i], "--test-console-close") == 0) {
      options->test_console_close = true;
    } else if (std::strcmp(argv[i], "--seconds") == 0) {
      if (!parse_number(value, 1, 86400, &options->seconds)) {
        return false;
      }
      ++i;
    } else if (std::strcmp(argv[i], "--tick-ms") == 0) {
      // A period of a second or more would be a stall on every tick.
      if (!parse_number(value, 1, 500, &options->tick_ms)) {
        return false;
      }
      ++i;
    } else {
      return false;
    }
  }
  return true;
}
