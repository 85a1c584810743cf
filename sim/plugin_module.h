// kestrune.dll loaded as the host application loads it, and the winmm test double beside it, for
// every program of the Windows world (velmar-sim.exe, the Windows suites, the benchmarks). What is
// looked up is listed once, each name with its pointer type: one entry gives both the text
// GetProcAddress is asked for and the pointer it fills.
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
// Starts the program `file` beside this one with `arguments` (which begin with a space),
// inheriting the handles `startup` names, if any.
bool start_beside_program(const wchar_t* file, const std::wstring& arguments, STARTUPINFOW* startup,
                          PROCESS_INFORMATION* process);
// Its exit code once it ends within `timeout_ms`; else 1, as it is ended. Closes its handles.
DWORD finish_program(PROCESS_INFORMATION* process, DWORD timeout_ms);

// The two variants, beside the program as the build puts them.
constexpr wchar_t PLAIN_DLL[] = L"kestrune.dll";
constexpr wchar_t DIAGNOSTIC_DLL[] = L"diagnostic\\kestrune.dll";

// Loads the module and looks up every export, or frees it again and says why. Neither of these
// calls the entry.
bool plugin_module_load(const wchar_t* path, PluginModule* plugin, std::string* error);
void plugin_module_free(PluginModule* plugin);

// The double's controls, as pointers of their exported names, which winmm_double_ready sets.
WINMM_DOUBLE_CONTROLS(EXTERN_RESOLVED_POINTER)

// Looks the controls up in the process's winmm.dll. False when it is not the double: not beside
// the program, or Wine was not told to prefer it (WINEDLLOVERRIDES=winmm=n).
bool winmm_double_ready(std::string* error);

// For the tests of the real DLL: the world (sim/world.h) opened on a fresh copy of `file` beside
// the program, loaded by a fresh host double on a machine without MIDI ports; false, with the
// reason, when it cannot be. world_close() frees it. No copy may be loaded already: its state
// would carry over.
bool world_load_fresh(const wchar_t* file, std::string* error);
// The module the world opened; null when none is.
HMODULE world_module();

// Wine rather than Windows, for the few expectations that hold under Wine alone: only Wine's
// ntdll exports wine_get_version.
bool running_under_wine();
