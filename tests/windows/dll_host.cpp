#include "tests/windows/dll_host.h"

#include "tests/windows/winmm_double.h"

std::vector<std::string> host_console;
std::vector<HostCommand> host_commands;
std::vector<std::string> host_registered_names;

namespace {

using PluginEntryFn = int32_t (*)(void* instance, HostPluginInfo* info);
HMODULE plugin_module;
PluginEntryFn plugin_entry;
bool plugin_active;
using TickFn = void (*)();
TickFn plugin_tick;

WinmmDoubleSetCountsFn double_set_counts;
WinmmDoubleCallsFn double_in_calls;
WinmmDoubleCallsFn double_out_calls;

void show_console_msg(const char* text) {
  host_console.emplace_back(text);
}

void main_on_command(int32_t command, int32_t flag) {
  host_commands.push_back(HostCommand{command, flag});
}

// Never called by the plug-in; present because it refuses a host without them.
void get_midi_input_name() {}
void get_midi_output_name() {}
void get_num_midi_inputs() {}
void get_num_midi_outputs() {}

void* get_function(const char* name) {
  std::string wanted(name);
  if (wanted == "GetMIDIInputName") {
    return reinterpret_cast<void*>(&get_midi_input_name);
  }
  if (wanted == "GetMIDIOutputName") {
    return reinterpret_cast<void*>(&get_midi_output_name);
  }
  if (wanted == "GetNumMIDIInputs") {
    return reinterpret_cast<void*>(&get_num_midi_inputs);
  }
  if (wanted == "GetNumMIDIOutputs") {
    return reinterpret_cast<void*>(&get_num_midi_outputs);
  }
  if (wanted == "Main_OnCommand") {
    return reinterpret_cast<void*>(&main_on_command);
  }
  if (wanted == "ShowConsoleMsg") {
    return reinterpret_cast<void*>(&show_console_msg);
  }
  return nullptr;
}

int register_callback(const char* name, void* value) {
  host_registered_names.emplace_back(name);
  if (std::string(name) == "timer") {
    plugin_tick = reinterpret_cast<TickFn>(value);
  }
  return 1;
}

std::string last_error_text(const char* what) {
  return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

}  // namespace

std::wstring path_beside_program(const wchar_t* file_name) {
  wchar_t program[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring path(program, length);
  size_t separator = path.find_last_of(L"\\/");
  path.resize(separator == std::wstring::npos ? 0 : separator + 1);
  return path + file_name;
}

bool host_load_plugin(const wchar_t* dll_path, int32_t* entry_result, std::string* error) {
  host_console.clear();
  host_commands.clear();
  host_registered_names.clear();
  plugin_tick = nullptr;
  if (GetModuleHandleW(L"kestrune.dll") != nullptr) {
    *error = "kestrune.dll is already loaded";
    return false;
  }
  plugin_module = LoadLibraryW(dll_path);
  if (plugin_module == nullptr) {
    *error = last_error_text("LoadLibraryW");
    return false;
  }
  plugin_entry = reinterpret_cast<PluginEntryFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin_module, "VelmarPluginEntry")));
  if (plugin_entry == nullptr) {
    *error = last_error_text("GetProcAddress(VelmarPluginEntry)");
    host_free_plugin();
    return false;
  }
  HostPluginInfo info{};
  info.api_version = HOST_API_VERSION;
  info.register_callback = register_callback;
  info.get_function = get_function;
  *entry_result = plugin_entry(GetModuleHandleW(nullptr), &info);
  plugin_active = true;
  return true;
}

int32_t host_unload_plugin() {
  plugin_active = false;
  return plugin_entry(GetModuleHandleW(nullptr), nullptr);
}

void host_free_plugin() {
  if (plugin_module != nullptr) {
    FreeLibrary(plugin_module);
  }
  plugin_module = nullptr;
  plugin_entry = nullptr;
  plugin_tick = nullptr;
  plugin_active = false;
}

bool host_plugin_active() {
  return plugin_active;
}

HMODULE host_plugin_module() {
  return plugin_module;
}

int32_t host_call_entry(HMODULE module, bool load) {
  auto entry = reinterpret_cast<PluginEntryFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "VelmarPluginEntry")));
  if (entry == nullptr) {
    return -1;
  }
  HostPluginInfo info{};
  info.api_version = HOST_API_VERSION;
  info.register_callback = register_callback;
  info.get_function = get_function;
  return entry(GetModuleHandleW(nullptr), load ? &info : nullptr);
}

void host_forget_tick() {
  plugin_tick = nullptr;
}

void host_tick() {
  if (plugin_tick != nullptr) {
    plugin_tick();
  }
}

void host_ticks(int count) {
  for (int i = 0; i < count; ++i) {
    host_tick();
  }
}

bool winmm_double_ready(std::string* error) {
  // Loaded here rather than found: the plug-in may not have pulled winmm.dll in yet.
  HMODULE winmm = LoadLibraryW(L"winmm.dll");
  if (winmm == nullptr) {
    *error = last_error_text("LoadLibraryW(winmm.dll)");
    return false;
  }
  double_set_counts = reinterpret_cast<WinmmDoubleSetCountsFn>(
      reinterpret_cast<void*>(GetProcAddress(winmm, WINMM_DOUBLE_SET_COUNTS)));
  double_in_calls = reinterpret_cast<WinmmDoubleCallsFn>(
      reinterpret_cast<void*>(GetProcAddress(winmm, WINMM_DOUBLE_IN_CALLS)));
  double_out_calls = reinterpret_cast<WinmmDoubleCallsFn>(
      reinterpret_cast<void*>(GetProcAddress(winmm, WINMM_DOUBLE_OUT_CALLS)));
  if (double_set_counts == nullptr || double_in_calls == nullptr || double_out_calls == nullptr) {
    *error = "winmm.dll is Wine's own, not the test double: run with WINEDLLOVERRIDES=winmm=n";
    return false;
  }
  return true;
}

void winmm_double_set_counts(UINT inputs, UINT outputs) {
  double_set_counts(inputs, outputs);
}

LONG winmm_double_in_calls() {
  return double_in_calls();
}

LONG winmm_double_out_calls() {
  return double_out_calls();
}
