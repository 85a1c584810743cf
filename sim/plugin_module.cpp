#include "sim/plugin_module.h"

WINMM_DOUBLE_CONTROLS(RESOLVED_POINTER)

namespace {

// The one cast of every lookup: GetProcAddress knows no types, the lists do. The first name not
// found is kept for the error.
template <typename Pointer>
void resolve(HMODULE module, const char* name, Pointer* pointer, const char** missing) {
  *pointer = reinterpret_cast<Pointer>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (*pointer == nullptr && *missing == nullptr) {
    *missing = name;
  }
}

std::string failed(const char* call) {
  return std::string(call) + " failed with error " + std::to_string(GetLastError());
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

bool start_beside_program(const wchar_t* file, const std::wstring& arguments, STARTUPINFOW* startup,
                          PROCESS_INFORMATION* process) {
  std::wstring command = L"\"" + path_beside_program(file) + L"\"" + arguments;
  startup->cb = sizeof *startup;
  BOOL inherit = (startup->dwFlags & STARTF_USESTDHANDLES) != 0 ? TRUE : FALSE;
  return CreateProcessW(nullptr, &command[0], nullptr, nullptr, inherit, 0, nullptr, nullptr,
                        startup, process) != FALSE;
}

DWORD finish_program(PROCESS_INFORMATION* process, DWORD timeout_ms) {
  DWORD exit_code = 1;
  if (WaitForSingleObject(process->hProcess, timeout_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process->hProcess, &exit_code);
  } else {
    TerminateProcess(process->hProcess, 1);
  }
  CloseHandle(process->hThread);
  CloseHandle(process->hProcess);
  return exit_code;
}

bool plugin_module_load(const wchar_t* path, PluginModule* plugin, std::string* error) {
  *plugin = PluginModule{};
  plugin->handle = LoadLibraryW(path);
  if (plugin->handle == nullptr) {
    *error = failed("LoadLibraryW");
    return false;
  }
  const char* missing = nullptr;
#define RESOLVE_EXPORT(name, type) resolve(plugin->handle, #name, &plugin->name, &missing);
  PLUGIN_EXPORTS(RESOLVE_EXPORT)
#undef RESOLVE_EXPORT
  if (missing != nullptr) {
    *error = std::string("the module does not export ") + missing;
    plugin_module_free(plugin);
    return false;
  }
  return true;
}

void plugin_module_free(PluginModule* plugin) {
  if (plugin->handle != nullptr) {
    FreeLibrary(plugin->handle);
  }
  *plugin = PluginModule{};
}

bool winmm_double_ready(std::string* error) {
  // Loaded here rather than found: the plug-in may not have pulled winmm.dll in yet.
  HMODULE winmm = LoadLibraryW(L"winmm.dll");
  if (winmm == nullptr) {
    *error = failed("LoadLibraryW(winmm.dll)");
    return false;
  }
  const char* missing = nullptr;
#define RESOLVE_CONTROL(name, type) resolve(winmm, #name, &name, &missing);
  WINMM_DOUBLE_CONTROLS(RESOLVE_CONTROL)
#undef RESOLVE_CONTROL
  if (missing == nullptr) {
    return true;
  }
  // Wine names its own under the path where it found the double, so only Windows' name tells.
  char loaded[MAX_PATH] = "?";
  GetModuleFileNameA(winmm, loaded, MAX_PATH);
  *error = std::string("winmm.dll is the system's, not the test double beside the program: ") +
           (running_under_wine() ? "run with WINEDLLOVERRIDES=winmm=n" : loaded);
  return false;
}

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
