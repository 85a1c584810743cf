// velmar-sim: a host for the plug-in that plays a scenario and prints what the plug-in did (see
// USAGE). A transcript that differs from --expect's file exits 1; a bad argument or file, 2.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "sim/player.h"
#include "sim/scenario.h"
#include "sim/transcript.h"
#include "sim/world.h"

namespace {

constexpr int EXIT_DIFFERS = 1;
constexpr int EXIT_BAD_INPUT = 2;

// What a newcomer should see first: a MIDI input plugged in once the plug-in has settled, and
// pulled out once the host has been reset for it, each reset 25 ticks after the device event (5
// until the counts are verified, 20 more until the reset).
const char DEFAULT_SESSION_NAME[] = "<default session>";
const char DEFAULT_SESSION[] =
    "load\n"
    "tick 100   # settles in 90 ticks, then reads its baseline\n"
    "plug input\n"
    "tick 30\n"
    "unplug input\n"
    "tick 30\n"
    "unload\n";

const char USAGE[] =
    "usage: velmar-sim [--plugin PATH] [--expect FILE] [SCENARIO]\n"
    "  SCENARIO       a scenario file to play (default: a built-in session)\n"
    "  --expect FILE  compare the transcript with FILE; exit 1 if they differ\n"
    "  --plugin PATH  the plug-in module to load, where the build does not link it in\n";

struct Arguments {
  const char* plugin_path;
  const char* expect_path;
  const char* scenario_path;
};

bool parse_arguments(int argc, char** argv, Arguments* arguments, bool* help) {
  *arguments = Arguments{nullptr, nullptr, nullptr};
  *help = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      *help = true;
    } else if ((argument == "--plugin" || argument == "--expect") && i + 1 < argc) {
      (argument == "--plugin" ? arguments->plugin_path : arguments->expect_path) = argv[++i];
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "velmar-sim: unknown option or missing value: %s\n", argv[i]);
      return false;
    } else if (arguments->scenario_path == nullptr) {
      arguments->scenario_path = argv[i];
    } else {
      std::fprintf(stderr, "velmar-sim: more than one scenario: %s\n", argv[i]);
      return false;
    }
  }
  return true;
}

bool load_steps(const Arguments& arguments, std::vector<ScenarioStep>* steps) {
  std::string source = DEFAULT_SESSION;
  std::string name = DEFAULT_SESSION_NAME;
  std::string error;
  if (arguments.scenario_path != nullptr) {
    name = arguments.scenario_path;
    if (!read_text_file(name, &source, &error)) {
      std::fprintf(stderr, "velmar-sim: %s\n", error.c_str());
      return false;
    }
  }
  if (!parse_scenario(source, name, steps, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  // Never skipped: a scenario played without one of its steps would prove something else.
  for (const ScenarioStep& step : *steps) {
    if (step.native_only && !world_plays_native_steps()) {
      std::fprintf(stderr,
                   "%s:%d: '%s' exists only on the simulated platform; the native velmar-sim "
                   "plays it, this one plays the real DLL\n",
                   name.c_str(), step.line, step.text.c_str());
      return false;
    }
  }
  return true;
}

int compare_with(const char* expect_path, const std::string& expected) {
  TranscriptDifference difference = transcript_compare(expected);
  if (difference.line == 0) {
    return 0;
  }
  std::fprintf(stderr,
               "velmar-sim: transcript differs from %s at line %lu\n"
               "  expected: %s\n"
               "  actual:   %s\n",
               expect_path, static_cast<unsigned long>(difference.line),
               difference.expected.c_str(), difference.actual.c_str());
  return EXIT_DIFFERS;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Transcripts are compared byte for byte with files written on Linux: no "\r" before "\n".
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  Arguments arguments;
  bool help;
  if (!parse_arguments(argc, argv, &arguments, &help)) {
    std::fputs(USAGE, stderr);
    return EXIT_BAD_INPUT;
  }
  if (help) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  std::vector<ScenarioStep> steps;
  if (!load_steps(arguments, &steps)) {
    return EXIT_BAD_INPUT;
  }
  std::string expected;
  std::string error;
  if (arguments.expect_path != nullptr &&
      !read_text_file(arguments.expect_path, &expected, &error)) {
    std::fprintf(stderr, "velmar-sim: %s\n", error.c_str());
    return EXIT_BAD_INPUT;
  }
  char world_error[256] = "";
  if (!world_open(arguments.plugin_path, world_error, sizeof world_error)) {
    std::fprintf(stderr, "velmar-sim: %s\n", world_error);
    return EXIT_BAD_INPUT;
  }
  transcript_begin(true);
  play_scenario(steps);
  world_close();
  return arguments.expect_path != nullptr ? compare_with(arguments.expect_path, expected) : 0;
}
