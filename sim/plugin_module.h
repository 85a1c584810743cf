// kestrune.dll loaded as the host application loads it, and the winmm test double beside it, for
// every program of the Windows world: velmar-sim.exe, the Windows suites and the benchmarks, under
// Wine or on Windows itself. What is looked up is listed once, each name with its pointer type,
// and the lookups are generated from the lists: one entry gives both the text GetProcAddress is
// asked for and the pointer it fills.
#pragma once

#include <windows.h>

#include <string>

#include "sim/winmm_double.h"
#include "sim/world.h"

// What the host looks up in the module.
#define PLUGIN_EXPORTS(X) X(VelmarPluginEntry, PluginEntryFn)

#define RESOLVED_POINTER(name, type) type name;
#define EXTERN_RESOLVED_POINTER(name, type) extern type name;

// One loaded copy of the module: the host may hold two, a backup or the other variant.
struct PluginModule {
  HMODULE handle;
  PLUGIN_EXPORTS(RESOLVED_POINTER)
};

// A path beside the running program, where the build puts kestrune.dll and its helpers.
std::wstring path_beside_program(const wchar_t* file_name);
// Starts the program `file` beside this one with `arguments`, which begin with a space; it
// inherits the handles `startup` names, if any.
bool start_beside_program(const wchar_t* file, const std::wstring& arguments, STARTUPINFOW* startup,
                          PROCESS_INFORMATION* process);
// Waits up to `timeout_ms` for the program to end, ends it (with 1) if it has not, closes its
// handles and returns its exit code.
DWORD finish_program(PROCESS_INFORMATION* process, DWORD timeout_ms);

// The two variants, beside the program as the build puts them.
constexpr wchar_t PLAIN_DLL[] = L"kestrune.dll";
constexpr wchar_t DIAGNOSTIC_DLL[] = L"diagnostic\\kestrune.dll";

// Loads the module at `path` and looks up every export; on failure frees it again and says why
// in `error`. The entry is not called.
bool plugin_module_load(const wchar_t* path, PluginModule* plugin, std::string* error);
// Frees the module, if one is loaded; the entry is not called.
void plugin_module_free(PluginModule* plugin);

// The double's controls, as pointers of their exported names, which winmm_double_ready sets.
WINMM_DOUBLE_CONTROLS(EXTERN_RESOLVED_POINTER)

// Looks the controls up in the process's winmm.dll. False when it is not the double: the double
// was not beside the program, or Wine was not told to prefer it (WINEDLLOVERRIDES=winmm=n).
bool winmm_double_ready(std::string* error);

// For the tests of the real DLL: the world (sim/world.h) opened on a fresh copy of `file` beside
// the program, on a machine without MIDI ports, and loaded by a fresh host double. False, with
// the reason, when it cannot be loaded or refuses the load. No copy may be loaded already: its
// state would carry over. world_close() frees it.
bool world_load_fresh(const wchar_t* file, std::string* error);
// The module the world opened; null when none is.
HMODULE world_module();

// Wine rather than Windows, for the few expectations that hold under Wine alone: Wine's ntdll
// exports wine_get_version, and Windows' has no such export.
bool running_under_wine();
