#include "sim/host_record.h"

#include <cstdio>
#include <cstring>

#include "sim/transcript.h"

namespace {

using TickFn = void (*)();

HostPluginInfo record;
std::string missing;
TickFn registered_tick;
long device_event_tick = -1;

void show_console_msg(const char* text) {
  transcript_add(TRANSCRIPT_CONSOLE, transcript_console_text(text));
}

void main_on_command(int32_t command, int32_t flag) {
  char text[128];
  int length = std::snprintf(text, sizeof text, "Main_OnCommand(%d, %d)", static_cast<int>(command),
                             static_cast<int>(flag));
  // For the reader of a transcript: the delay that the plug-in's timing rules are about.
  if (device_event_tick >= 0) {
    std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                  "  %ld ticks after the device event at tick %ld",
                  transcript_tick() - device_event_tick, device_event_tick);
  }
  transcript_add(TRANSCRIPT_COMMAND, text);
}

// The plug-in imports these four but has no use for them: a call to any of them shows up as a
// line no expected transcript contains.
bool get_midi_input_name(int device, char* name, int size) {
  (void)device;
  (void)name;
  (void)size;
  transcript_add(TRANSCRIPT_CALL, "GetMIDIInputName()");
  return false;
}

bool get_midi_output_name(int device, char* name, int size) {
  (void)device;
  (void)name;
  (void)size;
  transcript_add(TRANSCRIPT_CALL, "GetMIDIOutputName()");
  return false;
}

int get_num_midi_inputs() {
  transcript_add(TRANSCRIPT_CALL, "GetNumMIDIInputs()");
  return 0;
}

int get_num_midi_outputs() {
  transcript_add(TRANSCRIPT_CALL, "GetNumMIDIOutputs()");
  return 0;
}

struct HostFunction {
  const char* name;
  void* address;
};

const HostFunction HOST_FUNCTIONS[] = {
    {"GetMIDIInputName", reinterpret_cast<void*>(&get_midi_input_name)},
    {"GetMIDIOutputName", reinterpret_cast<void*>(&get_midi_output_name)},
    {"GetNumMIDIInputs", reinterpret_cast<void*>(&get_num_midi_inputs)},
    {"GetNumMIDIOutputs", reinterpret_cast<void*>(&get_num_midi_outputs)},
    {"Main_OnCommand", reinterpret_cast<void*>(&main_on_command)},
    {"ShowConsoleMsg", reinterpret_cast<void*>(&show_console_msg)},
};

void* get_function(const char* name) {
  if (name == nullptr || missing == name) {
    return nullptr;
  }
  for (const HostFunction& function : HOST_FUNCTIONS) {
    if (std::strcmp(function.name, name) == 0) {
      return function.address;
    }
  }
  return nullptr;
}

// One timer slot: a plug-in loaded again registers its tick again, and the host still calls it
// once per tick of its own.
int register_callback(const char* name, void* value) {
  if (name == nullptr || std::strcmp(name, "timer") != 0) {
    return 0;
  }
  registered_tick = reinterpret_cast<TickFn>(value);
  return 1;
}

}  // namespace

HostPluginInfo* host_record_make(int32_t api_version, const std::string& missing_function) {
  missing = missing_function;
  record = HostPluginInfo{};
  record.api_version = api_version;
  // The bytes the plug-in must not read hold something other than zeros, as a host's would.
  std::memset(record.host_private, 0xA5, sizeof record.host_private);
  record.register_callback = register_callback;
  record.get_function = get_function;
  return &record;
}

void host_record_call_tick() {
  if (registered_tick != nullptr) {
    registered_tick();
  }
}

void host_record_note_device_event(long tick) {
  device_event_tick = tick;
}

bool host_record_knows_function(const std::string& name) {
  for (const HostFunction& function : HOST_FUNCTIONS) {
    if (name == function.name) {
      return true;
    }
  }
  return false;
}
