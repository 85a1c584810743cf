#include "tests/windows/dll_host.h"

namespace {

PluginModule plugin;
bool plugin_active;

PVOID fault_watch;
volatile LONG faults;
volatile DWORD first_fault_code;

LONG CALLBACK record_fault(EXCEPTION_POINTERS* exception) {
  DWORD code = exception->ExceptionRecord->ExceptionCode;
  if ((code & 0xC0000000) == 0xC0000000 && InterlockedIncrement(&faults) == 1) {
    first_fault_code = code;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

bool host_load_plugin(const wchar_t* dll_path, int32_t* entry_result, std::string* error) {
  host_reset();
  if (GetModuleHandleW(L"kestrune.dll") != nullptr) {
    *error = "kestrune.dll is already loaded";
    return false;
  }
  if (!plugin_module_load(dll_path, &plugin, error)) {
    return false;
  }
  *entry_result = host_call_entry(plugin, true);
  plugin_active = true;
  return true;
}

int32_t host_unload_plugin() {
  plugin_active = false;
  return host_call_entry(plugin, false);
}

void host_free_plugin() {
  plugin_module_free(&plugin);
  host_forget_tick();
  plugin_active = false;
}

bool host_plugin_active() {
  return plugin_active;
}

HMODULE host_plugin_module() {
  return plugin.handle;
}

int32_t host_call_entry(const PluginModule& module, bool load) {
  return module.VelmarPluginEntry(GetModuleHandleW(nullptr), load ? host_record() : nullptr);
}

void winmm_double_set_counts(UINT inputs, UINT outputs) {
  winmm_double_set_midi_counts(inputs, outputs);
}

LONG winmm_double_in_calls() {
  return winmm_double_midi_in_calls();
}

LONG winmm_double_out_calls() {
  return winmm_double_midi_out_calls();
}

bool watch_for_faults() {
  faults = 0;
  first_fault_code = 0;
  if (fault_watch == nullptr) {
    fault_watch = AddVectoredExceptionHandler(1, record_fault);
  }
  return fault_watch != nullptr;
}

void stop_watching_for_faults() {
  if (fault_watch != nullptr) {
    RemoveVectoredExceptionHandler(fault_watch);
    fault_watch = nullptr;
  }
}

LONG faults_seen(DWORD* first_code) {
  *first_code = first_fault_code;
  return faults;
}
