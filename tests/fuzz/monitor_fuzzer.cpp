// libFuzzer target: turns its input into a session of scenario steps, played on the plug-in and the
// reference model and compared after each. Byte 0 chooses the diagnostic switch; each step is then
// an opcode byte and its operands; bytes past the end read as 0. A session departing from the model
// is printed as a scenario and written to KESTRUNE_COUNTEREXAMPLE before the process aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/device_events.h"
#include "sim/device_notice.h"
#include "sim/notice_headers.h"
#include "sim/scenario.h"
#include "tests/model/lockstep.h"

namespace {

const uint8_t* input_data;
size_t input_size;
size_t input_at;

unsigned char take_byte() {
  return input_at < input_size ? input_data[input_at++] : 0;
}

uint32_t take_u32() {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value = value << 8 | take_byte();
  }
  return value;
}

uint64_t take_u64() {
  uint64_t high = take_u32();
  return high << 32 | take_u32();
}

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

const char* const PLUG_CLASSES[] = {"audio", "midi-in", "midi-out", "other"};

// A notice's event and header: the header's shape comes from the input, and its bytes too, except
// what the shape fixes. Sent from the window's own thread it sits in a heap block of exactly its
// size, so that any read past it is caught; one the plug-in must not read (while it settles, or for
// an event that is no arrival or removal) may point into poisoned memory instead.
std::string notice_words(bool now, bool settling) {
  uint8_t kind = take_byte();
  uint64_t code = kind % 8 < 4   ? DBT_DEVICEARRIVAL
                  : kind % 8 < 7 ? DBT_DEVICEREMOVECOMPLETE
                                 : take_u64();
  std::string words = "notify code " + hex(code);
  uint8_t shape = take_byte() % 8;
  bool unread = settling || (code != DBT_DEVICEARRIVAL && code != DBT_DEVICEREMOVECOMPLETE);
  if (shape == 1 && now && unread) {
    return words + " poisoned now";
  }
  if (shape <= 1) {
    return words + " none" + (now ? " now" : "");
  }
  size_t size = 4 + take_byte() % 61;
  // Shapes 3 and up claim the device-interface type, where the size has room for it; 5 and up
  // also carry a class the plug-in acts on (the first of the classes a scenario names) as far as
  // the size reaches.
  uint32_t interface_type = DBT_DEVTYP_DEVICEINTERFACE;
  bool typed = shape >= 3 && size >= NOTICE_TYPE_OFFSET + 4;
  std::vector<unsigned char> header = made_up_header(
      size, static_cast<uint32_t>(size), typed ? &interface_type : nullptr, nullptr, take_byte);
  if (shape >= 5 && size > NOTICE_CLASS_OFFSET) {
    auto acted_on = static_cast<DeviceClass>((shape + header[size - 1]) % DEVICE_CLASS_OTHER);
    std::memcpy(header.data() + NOTICE_CLASS_OFFSET, &device_class_guid(acted_on),
                std::min(size, size_t{NOTICE_NAME_OFFSET}) - NOTICE_CLASS_OFFSET);
  }
  words += " bytes ";
  for (unsigned char byte : header) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", byte);
    words += digits;
  }
  return words + (now ? " now" : "");
}

// A load the host may make; before one that reaches the start, sometimes one of the start's calls
// failing, required or not (an existing class is no failure, though none exists here).
std::vector<std::string> load_lines(const ModelState& model) {
  static const char* const LOADS[] = {"load",
                                      "load",
                                      "load",
                                      "load version 0x20F",
                                      "load null get_function",
                                      "load null register_callback",
                                      "load missing Main_OnCommand",
                                      "load missing GetMIDIInputName ShowConsoleMsg"};
  static const char* const FAILURES[] = {
      "GetModuleHandleExW",           "RegisterClassW",
      "RegisterClassW 1 error 1410",  "CreateWindowExW",
      "RegisterDeviceNotificationA",  "RegisterDeviceNotificationA 2",
      "RegisterDeviceNotificationA 3"};
  std::string load = LOADS[take_byte() % 8];
  uint8_t failure = take_byte() % 16;
  // The last registration came later than the others, and takes a selector they left unused.
  const char* failing = failure < 7     ? FAILURES[failure]
                        : failure == 15 ? "RegisterSuspendResumeNotification"
                                        : nullptr;
  if (failing == nullptr || load != "load" || model.loaded) {
    return {load};
  }
  return {std::string("fail ") + failing, load};
}

// Sent messages reach the procedure at once; posted ones give the tick's drain something to do.
std::string message_line() {
  uint32_t selector = take_u32();
  uint64_t first = take_u64();
  uint64_t second = take_u64();
  return "message " + hex(selector & 0xFFFF) + " " + hex(first) + " " + hex(second) +
         ((selector & 0x10000) != 0 ? " post" : "");
}

// The host's thread busy, short of the system's patience or past it, as a port comes, goes or not.
std::string stall_line() {
  uint8_t how = take_byte();
  std::string line = std::string("stall ") + ((how & 1) != 0 ? "3000" : "1500");
  switch ((how >> 1) % 4) {
    case 0:
      return line;
    case 1:
      return line + " counts " + std::to_string((how >> 3) & 0x7) + " 1";
    case 2:
      return line + ((how & 8) != 0 ? " plug input " : " plug output ") + PLUG_CLASSES[how >> 6];
    default:
      return line + " " + notice_words(false, false);
  }
}

std::string power_line() {
  uint8_t event = take_byte();
  return event % 4 == 0   ? "power suspend"
         : event % 4 == 1 ? "power code " + hex(event)
                          : "power resume";
}

// Opcodes 10 to 19 are the last events added; other bytes mean opcode % 10, as the seeds expect.
std::vector<std::string> next_lines(uint8_t opcode, const ModelState& model) {
  if (opcode >= 10 && opcode < 20) {
    return {opcode < 15 ? stall_line() : power_line()};
  }
  switch (opcode % 10) {
    case 0:
    case 1:
      return {"tick"};
    case 2:
      return {"tick " + std::to_string(1 + take_byte())};
    case 3:
      return {notice_words(true, model.settle_left > 0)};
    case 4:
      return {notice_words(false, false)};
    case 5: {
      uint8_t counts = take_byte();
      return {"counts " + std::to_string(counts & 0x7) + " " + std::to_string((counts >> 3) & 0x7)};
    }
    case 6: {
      uint8_t how = take_byte();
      return {std::string((how & 8) != 0 ? "plug " : "unplug ") +
              ((how & 1) != 0 ? "input " : "output ") + PLUG_CLASSES[(how >> 1) & 3]};
    }
    case 7:
      return load_lines(model);
    case 8:
      return {"unload"};
    default:
      return {message_line()};
  }
}

std::vector<std::string> played;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input_data = data;
  input_size = size;
  input_at = 0;
  bool diagnostic = (take_byte() & 1) != 0;
  ModelState model;
  start_lockstep(&model, diagnostic);
  played.clear();
  ScenarioReader reader = scenario_reader("fuzz");
  // Bounded so that one input stays quick whatever its length.
  for (int steps = 0; input_at < input_size && steps < 4096; ++steps) {
    for (const std::string& line : next_lines(take_byte(), model)) {
      ScenarioStep step;
      bool has_step = false;
      std::string error;
      // A step the reader refuses (a port pulled that is not there, a session grown too long)
      // or whose outcome the model cannot tell (a second load of a loaded plug-in) is left out.
      ScenarioReader before = reader;
      if (!read_scenario_line(&reader, line, &step, &has_step, &error) ||
          !model_predicts(model, step)) {
        reader = before;
        continue;
      }
      played.push_back(step.text);
      std::string differences = step_in_lockstep(&model, step);
      if (!differences.empty()) {
        std::fputs(
            write_counterexample("fuzz-counterexample.scenario", diagnostic, played, differences)
                .c_str(),
            stderr);
        std::abort();
      }
    }
  }
  // Leave nothing for the next input: the simulated platform is reset, but the plug-in is told.
  ScenarioStep unload;
  bool has_step = false;
  std::string error;
  read_scenario_line(&reader, "unload", &unload, &has_step, &error);
  step_in_lockstep(&model, unload);
  return 0;
}
