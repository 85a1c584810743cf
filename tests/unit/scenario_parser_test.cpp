// velmar-sim's host side: reading scenario files, and the transcript it compares.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "monitor/interface_class.h"
#include "sim/device_events.h"
#include "sim/scenario.h"
#include "sim/transcript.h"

namespace {

std::vector<ScenarioStep> parse_ok(const std::string& source) {
  std::vector<ScenarioStep> steps;
  std::string error;
  EXPECT_TRUE(parse_scenario(source, "ok.scenario", &steps, &error)) << error;
  return steps;
}

std::string parse_error(const std::string& source) {
  std::vector<ScenarioStep> steps;
  std::string error;
  EXPECT_FALSE(parse_scenario(source, "bad.scenario", &steps, &error)) << source;
  return error;
}

}  // namespace

TEST(ScenarioParser, ReadsAFileWithWindowsLineEndsAsTheSameSteps) {
  std::vector<ScenarioStep> steps = parse_ok("load\r\ntick 5\r\nunload\r\n");
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[1].ticks, 5);
  EXPECT_EQ(steps[2].kind, STEP_UNLOAD);
}

TEST(ScenarioParser, ReportsTheFileAndLineOfTheFirstBadStep) {
  struct Case {
    const char* source;
    const char* error;
  };
  const Case cases[] = {
      {"# c\n\ntick 0\n", "bad.scenario:3: tick count '0' is not a number"},
      {"tick 100001\n", "bad.scenario:1: tick count '100001'"},
      {"tick -3\n", "bad.scenario:1: tick count '-3'"},
      {"tick 5 6\n", "bad.scenario:1: unexpected '6' after 'tick'"},
      {"load version\n", "bad.scenario:1: expected 'load', 'load version V'"},
      {"load version 0x1FFFFFFFF\n", "bad.scenario:1: version '0x1FFFFFFFF'"},
      {"load missing Main_OnCommandX\n", "bad.scenario:1: 'Main_OnCommandX' is not one"},
      {"counts 1\n", "bad.scenario:1: expected 'counts IN OUT'"},
      {"counts 1 1001\n", "bad.scenario:1: expected 'counts IN OUT'"},
      {"plug sideways\n", "bad.scenario:1: expected 'plug input' or 'plug output'"},
      {"plug input video\n", "bad.scenario:1: unknown device class 'video'"},
      {"notify arrival short extra\n", "bad.scenario:1: unexpected 'extra'"},
      {"notify code 0xZZ\n", "bad.scenario:1: event code '0xZZ'"},
      {"notify\n", "bad.scenario:1: expected 'notify arrival|removal"},
      {"tick\x01\x02\n", "bad.scenario:1: unknown step 'tick\\x01\\x02'"},
      {"load null host\n", "bad.scenario:1: expected 'load', 'load version V'"},
      {"notify arrival bytes 0400\n", "bad.scenario:1: expected 'bytes HEX'"},
      {"notify arrival bytes 05000000\n", "bad.scenario:1: expected 'bytes HEX'"},
      {"notify code 7 poisoned\n", "bad.scenario:1: a poisoned header is only sent 'now'"},
      {"message 0x219 0 0\n", "bad.scenario:1: message 0x0219 is not one"},
      {"fail CreateWindow\n", "bad.scenario:1: expected 'fail NAME [NTH] [error E]'"},
      {"fail CreateWindowExW 0\n", "bad.scenario:1: expected a call number"},
      {"stall 60001\n", "bad.scenario:1: expected 'stall MS [STEP]' with MS from 1 to 60000"},
      {"stall 10 notify arrival now\n", "bad.scenario:1: a stall holds one of 'counts'"},
      {"power sleep\n", "bad.scenario:1: expected 'power resume', 'power suspend'"},
  };
  for (const Case& c : cases) {
    std::string error = parse_error(c.source);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "for " << c.source << "got: " << error;
  }
  // As many bytes as a notice holds, and not one more: the player copies them into it.
  parse_ok("notify arrival bytes 60000000" + std::string(2 * 92, '0') + "\n");
  EXPECT_NE(parse_error("notify arrival bytes 61000000" + std::string(2 * 93, '0') + "\n")
                .find("up to 96 bytes"),
            std::string::npos);
}

// A step prints as the line that reads it again, as a shrunk counterexample of the model or the
// fuzzer must replay as the same steps; those the real DLL's velmar-sim cannot play are marked.
TEST(ScenarioParser, EveryStepPrintsAsALineThatReadsTheSameStep) {
  struct Line {
    const char* source;
    const char* text;  // as it prints; null for the line as written
    bool native_only;
  };
  for (Line line :
       {Line{"load missing Main_OnCommand ShowConsoleMsg", nullptr, false},
        Line{"load null register_callback", nullptr, false},
        Line{"notify arrival midi-in size 20 type 2", nullptr, false},
        Line{"notify removal none", nullptr, false},
        Line{"notify arrival size 8", "notify arrival audio size 8", true},
        Line{"notify code 0x100008000 now", nullptr, true},
        Line{"notify code 0x8000 bytes 0c000000050000000000a0c9", nullptr, false},
        Line{"notify code 7 poisoned now", "notify code 0x0007 poisoned now", true},
        Line{"message 1024 7 0 post", "message 0x0400 0x7 0x0 post", true},
        Line{"fail RegisterDeviceNotificationA 2 error 1410", nullptr, true},
        Line{"stall 3000 plug input", "stall 3000 plug input audio", false},
        Line{"stall 5 notify arrival size 8", "stall 5 notify arrival audio size 8", true},
        Line{"power code 10", "power code 0x000A", false}}) {
    std::vector<ScenarioStep> steps = parse_ok(line.source);
    ASSERT_EQ(steps.size(), 1u) << line.source;
    EXPECT_EQ(steps[0].text, line.text != nullptr ? line.text : line.source);
    EXPECT_EQ(steps[0].native_only, line.native_only) << line.source;
    std::vector<ScenarioStep> again = parse_ok(steps[0].text);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].text, steps[0].text);
  }
}

// The file is checked as a whole before anything runs, so a port pulled that the session never
// had is a bad file, not a surprise halfway through a run (tests/scenarios/invalid has one too).
TEST(ScenarioParser, RefusesAnUnplugWithNoPortLeftAtThatPointOfTheSession) {
  EXPECT_EQ(parse_error("plug input\nunplug input\nunplug input\n"),
            "bad.scenario:3: no input port left to unplug");
  parse_ok("counts 3 0\nunplug input\nunplug input\nunplug input\n");
}

TEST(ScenarioParser, RefusesASessionLongerThanTheTickLimit) {
  std::string source;
  for (long ticks = 0; ticks < MAX_TICKS_PER_SCENARIO; ticks += MAX_TICKS_PER_STEP) {
    source += "tick " + std::to_string(MAX_TICKS_PER_STEP) + "\n";
  }
  parse_ok(source);
  source += "tick\n";
  EXPECT_EQ(parse_error(source).rfind("bad.scenario:11: the scenario runs more than", 0), 0u);
}

// Random bytes, mixed with the language's own words so that parsing gets past the first word.
TEST(ScenarioParser, AnswersRandomInputWithStepsOrALocatedError) {
  const char* const words[] = {"tick",   "load",        "unload", "counts",  "plug",    "unplug",
                               "notify", "input",       "output", "arrival", "removal", "short",
                               "code",   "audio",       "other",  "version", "missing", "0x",
                               "1",      "99999999999", "#"};
  std::mt19937 random(20260407);
  const std::regex located("^garbage:[0-9]+: .+");
  for (int round = 0; round < 2000; ++round) {
    std::string source;
    int pieces = static_cast<int>(random() % 40);
    for (int i = 0; i < pieces; ++i) {
      switch (random() % 4) {
        case 0:
          source += words[random() % (sizeof words / sizeof words[0])];
          break;
        case 1:
          source += static_cast<char>(random() % 256);
          break;
        case 2:
          source += random() % 2 != 0 ? ' ' : '\n';
          break;
        default:
          source += std::to_string(random() % 300);
          break;
      }
    }
    std::vector<ScenarioStep> steps;
    std::string error;
    if (!parse_scenario(source, "garbage", &steps, &error)) {
      EXPECT_TRUE(std::regex_match(error, located)) << error;
    }
  }
}

TEST(Transcript, ShowsConsoleTextOnOneLineAndMarksWhatIsNotALine) {
  EXPECT_EQ(transcript_console_text("Kestrune: loaded\n"), "Kestrune: loaded");
  EXPECT_EQ(transcript_console_text("Kestrune: cut"), "Kestrune: cut [no newline]");
  EXPECT_EQ(transcript_console_text("a\nb\n"), "a\\x0Ab");
  EXPECT_EQ(transcript_console_text("tab\there\r\n"), "tab\\x09here\\x0D");
  EXPECT_EQ(transcript_console_text("\xC3\xA9\n"), "\\xC3\\xA9");
  EXPECT_EQ(transcript_console_text(""), " [no newline]");
  EXPECT_EQ(transcript_console_text(nullptr), "<null>");
}

TEST(Transcript, StampsLinesWithTheTickAndPutsAStepBeforeWhatItCaused) {
  transcript_begin(false);
  transcript_open_step("load");
  transcript_add(TRANSCRIPT_CONSOLE, "Kestrune: loaded");
  transcript_close_step(" -> 1");
  transcript_set_tick(125);
  transcript_add(TRANSCRIPT_COMMAND, "Main_OnCommand(41175, 0)");
  transcript_set_tick(123456);
  transcript_add(TRANSCRIPT_STEP, "unload -> 0");
  const std::vector<std::string> expected = {
      "    0  step    load -> 1",
      "    0  console Kestrune: loaded",
      "  125  command Main_OnCommand(41175, 0)",
      "123456  step    unload -> 0",
  };
  EXPECT_EQ(transcript_lines(), expected);
}

TEST(Transcript, CompareNamesTheFirstLineThatDiffersOrIsMissing) {
  transcript_begin(false);
  transcript_add(TRANSCRIPT_STEP, "load -> 1");
  transcript_set_tick(125);
  transcript_add(TRANSCRIPT_COMMAND, "Main_OnCommand(41175, 0)");
  const std::string load = "    0  step    load -> 1";
  const std::string command = "  125  command Main_OnCommand(41175, 0)";

  EXPECT_EQ(transcript_compare(load + "\n" + command + "\n").line, 0u);
  EXPECT_EQ(transcript_compare(load + "\r\n" + command + "\r\n").line, 0u);

  TranscriptDifference late =
      transcript_compare(load + "\n  126  command Main_OnCommand(41175, 0)\n");
  EXPECT_EQ(late.line, 2u);
  EXPECT_EQ(late.expected, "  126  command Main_OnCommand(41175, 0)");
  EXPECT_EQ(late.actual, command);

  TranscriptDifference short_file = transcript_compare(load + "\n");
  EXPECT_EQ(short_file.line, 2u);
  EXPECT_EQ(short_file.expected, "<end>");

  TranscriptDifference long_file =
      transcript_compare(load + "\n" + command + "\n  130  step    unload\n");
  EXPECT_EQ(long_file.line, 3u);
  EXPECT_EQ(long_file.actual, "<end>");

  EXPECT_EQ(transcript_compare("").line, 1u);
}

// Both worlds send these bytes; the plug-in reads them as the system's header.
TEST(DeviceNotice, ReadsAsADeviceInterfaceHeaderOfItsClassAndName) {
  DeviceNotice notice =
      interface_notice(device_class_guid(DEVICE_CLASS_RENDER), "\\\\?\\VSIM#MIDI_OUT#12");
  DEV_BROADCAST_DEVICEINTERFACE_A header;
  std::memcpy(&header, notice.bytes, sizeof header);
  EXPECT_EQ(header.dbcc_devicetype, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
  EXPECT_EQ(header.dbcc_size, notice.size);
  EXPECT_EQ(std::memcmp(&header.dbcc_classguid, &KSCATEGORY_RENDER, sizeof(GUID)), 0);
  const char* name = reinterpret_cast<const char*>(notice.bytes) + 28;
  EXPECT_STREQ(name, "\\\\?\\VSIM#MIDI_OUT#12");
  EXPECT_EQ(notice.size, 28 + std::strlen(name) + 1);

  DeviceNotice cut = short_interface_notice();
  DEV_BROADCAST_HDR cut_header;
  std::memcpy(&cut_header, cut.bytes, sizeof cut_header);
  EXPECT_EQ(cut.size, 12u);
  EXPECT_EQ(cut_header.dbch_size, 12u);
  EXPECT_EQ(cut_header.dbch_devicetype, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
}

// Every test, the simulator and the fuzzer send the plug-in's own class GUIDs, so a wrong byte in
// one would pass everything else: here they meet the classes as the system's headers publish them.
TEST(DeviceNotice, ClassesAreTheSystemsOwn) {
  struct Published {
    DeviceClass device_class;
    const char* text;
  };
  for (Published published :
       {Published{DEVICE_CLASS_AUDIO, "{6994AD04-93EF-11D0-A3CC-00A0C9223196}"},
        Published{DEVICE_CLASS_RENDER, "{65E8773E-8F56-11D0-A3B9-00A0C9223196}"},
        Published{DEVICE_CLASS_CAPTURE, "{65E8773D-8F56-11D0-A3B9-00A0C9223196}"},
        Published{DEVICE_CLASS_MIDI_IN, "{504BE32C-CCF6-4D2C-B73F-6F8B3747E22B}"},
        Published{DEVICE_CLASS_MIDI_OUT, "{6DC23320-AB33-4CE4-80D4-BBB3EBBF2814}"}}) {
    const GUID& guid = device_class_guid(published.device_class);
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    EXPECT_STREQ(text, published.text) << device_class_name(published.device_class);
  }
}
