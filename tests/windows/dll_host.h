// What the tests and benchmarks of the real kestrune.dll add to the host double
// (sim/host_double.h): one copy of the module loaded through velmar-sim's loader
// (sim/plugin_module.h), as the host application loads it, and its entry called with the
// double's record. The MIDI counts come from the winmm test double.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "sim/host_double.h"
#include "sim/plugin_module.h"
#include "sim/plugin_windows.h"

// The two variants, beside the program as the build puts them.
constexpr wchar_t PLAIN_DLL[] = L"kestrune.dll";
constexpr wchar_t DIAGNOSTIC_DLL[] = L"diagnostic\\kestrune.dll";

// Loads a fresh copy of `file`, beside the program, and calls its entry with the double's record,
// on a host reset for it. False, with the reason in `error`, when it cannot be loaded or refuses
// the load. No copy may be loaded already: its state would carry over.
bool host_load_fresh(const wchar_t* file, std::string* error);
// Calls the loaded copy's entry with the record once more, as a host that loads it twice does.
int32_t host_load_again();
// Calls the entry with a null record and returns its result. The module stays in memory, as it
// does in the host until the host frees it.
int32_t host_unload_plugin();
// Unloads the copy if it is still loaded, then frees it, as the host does at its end.
void host_free_plugin();
// The module loaded by host_load_fresh, null when none is.
HMODULE host_plugin_module();

// For tests that hold copies of the module themselves: calls a copy's entry with the record, or
// with null when `load` is false. A copy that accepts the load registers its tick with the double.
int32_t host_call_entry(const PluginModule& module, bool load);
