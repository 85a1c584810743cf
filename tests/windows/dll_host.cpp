#include "tests/windows/dll_host.h"

#include "sim/winmm_double.h"

namespace {

using PluginEntryFn = int32_t (*)(void* instance, HostPluginInfo* info);
HMODULE plugin_module;
PluginEntryFn plugin_entry;
bool plugin_active;

WinmmDoubleSetCountsFn double_set_counts;
WinmmDoubleCallsFn double_in_calls;
WinmmDoubleCallsFn double_out_calls;

std::string last_error_text(const char* what) {
  return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

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

std::wstring path_beside_program(const wchar_t* file_name) {
  wchar_t program[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring path(program, length);
  size_t separator = path.find_last_of(L"\\/");
  path.resize(separator == std::wstring::npos ? 0 : separator + 1);
  return path + file_name;
}

bool host_load_plugin(const wchar_t* dll_path, int32_t* entry_result, std::string* error) {
  host_reset();
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
  *entry_result = plugin_entry(GetModuleHandleW(nullptr), host_record());
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
  host_forget_tick();
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
  return entry(GetModuleHandleW(nullptr), load ? host_record() : nullptr);
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
    // Wine names its own under the path where it found the double, so only Windows' name tells.
    char loaded[MAX_PATH] = "?";
    GetModuleFileNameA(winmm, loaded, MAX_PATH);
    *error = std::string("winmm.dll is the system's, not the test double beside the program: ") +
             (running_under_wine() ? "run with WINEDLLOVERRIDES=winmm=n" : loaded);
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

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
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
