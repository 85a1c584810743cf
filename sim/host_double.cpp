#include "sim/host_double.h"

#include <algorithm>
#include <cstring>

#include "monitor/tick_delays.h"
#include "sim/world.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/simulated/sim_control.h"
#endif

namespace {

constexpr size_t NAME_CAPACITY = 32;

using TickFn = void (*)();

HostPluginInfo record;
unsigned missing_functions;
TickFn registered_tick;
HostObserver observer;

HostEvent journal[HOST_JOURNAL_CAPACITY];
int journal_length;
int console_lines;
int commands;
int malformed_lines;
int unexpected_commands;

// Names are copied: under Wine they belong to a module that may be freed before anyone reads them.
struct NameList {
  char names[HOST_NAMES_KEPT][NAME_CAPACITY];
  int count;
};
NameList lookups;
NameList registrations;
int unknown_names;

void add_name(NameList* list, const char* name) {
  if (list->count < HOST_NAMES_KEPT) {
    char* slot = list->names[list->count];
    std::strncpy(slot, name != nullptr ? name : "(null)", NAME_CAPACITY - 1);
    slot[NAME_CAPACITY - 1] = 0;
  }
  ++list->count;
}

std::vector<std::string> names_of(const NameList& list) {
  return std::vector<std::string>(list.names, list.names + std::min(list.count, HOST_NAMES_KEPT));
}

void record_event(HostEventKind kind, const char* text, int32_t command = 0, int32_t flag = 0) {
  HostEvent event{kind, command, flag, {}};
  std::strncpy(event.text, text, HOST_TEXT_CAPACITY - 1);
  if (journal_length < HOST_JOURNAL_CAPACITY) {
    journal[journal_length] = event;
  }
  const HostEvent& kept = journal_length < HOST_JOURNAL_CAPACITY ? journal[journal_length] : event;
  ++journal_length;
  if (observer != nullptr) {
    observer(kept);
  }
}

void show_console_msg(const char* text) {
  size_t length = std::strlen(text);
  ++console_lines;
  if (std::strncmp(text, "Kestrune: ", 10) != 0 || length == 0 || text[length - 1] != '\n') {
    ++malformed_lines;
  }
  record_event(HOST_CONSOLE, text);
}

void main_on_command(int32_t command, int32_t flag) {
  ++commands;
  if (command != 41175 || flag != 0) {
    ++unexpected_commands;
  }
  record_event(HOST_COMMAND, "", command, flag);
}

// The plug-in imports these four but has no use for them: a call to any of them is journaled,
// and shows in a transcript as a line no expected transcript holds.
bool get_midi_input_name(int, char*, int) {
  record_event(HOST_UNUSED_CALLED, "GetMIDIInputName");
  return false;
}

bool get_midi_output_name(int, char*, int) {
  record_event(HOST_UNUSED_CALLED, "GetMIDIOutputName");
  return false;
}

int get_num_midi_inputs() {
  record_event(HOST_UNUSED_CALLED, "GetNumMIDIInputs");
  return 0;
}

int get_num_midi_outputs() {
  record_event(HOST_UNUSED_CALLED, "GetNumMIDIOutputs");
  return 0;
}

struct HostFunction {
  const char* name;
  void* address;
};

// The host's own names, not the plug-in's: a misspelt import then finds nothing, as in the real
// host. In the plug-in's import order, which the bits of host_import_bit follow.
const HostFunction HOST_FUNCTIONS[] = {
    {"GetMIDIInputName", reinterpret_cast<void*>(&get_midi_input_name)},
    {"GetMIDIOutputName", reinterpret_cast<void*>(&get_midi_output_name)},
    {"GetNumMIDIInputs", reinterpret_cast<void*>(&get_num_midi_inputs)},
    {"GetNumMIDIOutputs", reinterpret_cast<void*>(&get_num_midi_outputs)},
    {"Main_OnCommand", reinterpret_cast<void*>(&main_on_command)},
    {"ShowConsoleMsg", reinterpret_cast<void*>(&show_console_msg)},
};
constexpr int HOST_FUNCTION_TOTAL = sizeof HOST_FUNCTIONS / sizeof HOST_FUNCTIONS[0];

int function_index(const char* name) {
  for (int i = 0; name != nullptr && i < HOST_FUNCTION_TOTAL; ++i) {
    if (std::strcmp(HOST_FUNCTIONS[i].name, name) == 0) {
      return i;
    }
  }
  return -1;
}

void* get_function(const char* name) {
  add_name(&lookups, name);
  int index = function_index(name);
  if (index < 0) {
    ++unknown_names;
    return nullptr;
  }
  return (missing_functions & (1u << index)) != 0 ? nullptr : HOST_FUNCTIONS[index].address;
}

// One timer slot: a plug-in loaded again registers its tick again, and the host still calls it
// once per tick of its own.
int register_callback(const char* name, void* value) {
  add_name(&registrations, name);
  if (name == nullptr || std::strcmp(name, "timer") != 0) {
    ++unknown_names;
    return 0;
  }
  registered_tick = reinterpret_cast<TickFn>(value);
  return 1;
}

}  // namespace

void host_reset() {
  record = HostPluginInfo{};
  missing_functions = 0;
  registered_tick = nullptr;
  observer = nullptr;
  lookups.count = 0;
  registrations.count = 0;
  unknown_names = 0;
  host_clear_journal();
}

HostPluginInfo* host_record(int32_t api_version, unsigned missing) {
  missing_functions = missing;
  record = HostPluginInfo{};
  record.api_version = api_version;
  // The bytes the plug-in must not read hold something other than zeros, as a host's would.
  std::memset(record.host_private, 0xA5, sizeof record.host_private);
  record.register_callback = register_callback;
  record.get_function = get_function;
  return &record;
}

unsigned host_import_bit(const char* name) {
  int index = function_index(name);
  return index < 0 ? 0 : 1u << index;
}

int32_t host_call_entry(PluginEntryFn entry, bool load) {
#ifdef _WIN32
  void* instance = GetModuleHandleW(nullptr);
#else
  void* instance = nullptr;
#endif
  return entry(instance, load ? host_record() : nullptr);
}

void host_pass_tick_period() {
#ifndef _WIN32
  sim_advance_clock(HOST_TICK_PERIOD_MS);
#endif
}

void host_call_tick() {
  host_pass_tick_period();
  if (registered_tick != nullptr) {
    registered_tick();
  }
}

void host_call_ticks(long count) {
  for (long i = 0; i < count; ++i) {
    host_call_tick();
  }
}

void host_settle(unsigned inputs, unsigned outputs) {
  world_set_midi_counts(inputs, outputs);
  host_call_ticks(INIT_DELAY_TICKS);
}

void* host_tick_address() {
  return reinterpret_cast<void*>(registered_tick);
}

void host_forget_tick() {
  registered_tick = nullptr;
}

int host_registration_count() {
  return registrations.count;
}

int host_unknown_name_count() {
  return unknown_names;
}

int host_console_count() {
  return console_lines;
}

int host_command_count() {
  return commands;
}

int host_malformed_line_count() {
  return malformed_lines;
}

int host_unexpected_command_count() {
  return unexpected_commands;
}

void host_clear_journal() {
  journal_length = 0;
  console_lines = 0;
  commands = 0;
  malformed_lines = 0;
  unexpected_commands = 0;
}

void host_observe(HostObserver new_observer) {
  observer = new_observer;
}

std::vector<std::string> host_console() {
  std::vector<std::string> lines;
  for (int i = 0; i < std::min(journal_length, HOST_JOURNAL_CAPACITY); ++i) {
    if (journal[i].kind == HOST_CONSOLE) {
      lines.emplace_back(journal[i].text);
    }
  }
  return lines;
}

std::vector<HostCommand> host_commands() {
  std::vector<HostCommand> kept;
  for (int i = 0; i < std::min(journal_length, HOST_JOURNAL_CAPACITY); ++i) {
    if (journal[i].kind == HOST_COMMAND) {
      kept.push_back(HostCommand{journal[i].command, journal[i].flag});
    }
  }
  return kept;
}

std::vector<std::string> host_lookups() {
  return names_of(lookups);
}

std::vector<std::string> host_registrations() {
  return names_of(registrations);
}
