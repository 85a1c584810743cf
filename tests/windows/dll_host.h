// What the tests of the real kestrune.dll add to the host double (sim/host_double.h): loading the
// module as the host application does, through velmar-sim's loader (sim/plugin_module.h), and
// calling its entry with the double's record. The MIDI counts come from the winmm test double.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "sim/host_double.h"
#include "sim/plugin_module.h"

// Loads a fresh copy of the module and calls its entry with the double's record, on a host reset
// for it. On failure describes it in `error` and returns false. The module must not be loaded
// already: its state would carry over.
bool host_load_plugin(const wchar_t* dll_path, int32_t* entry_result, std::string* error);
// Calls the entry with a null record and returns its result. The module stays in memory, as it
// does in the host until the host frees it.
int32_t host_unload_plugin();
// Frees the module if it is loaded; the entry is not called.
void host_free_plugin();
// The module is loaded, and the entry has not been called with a null record since.
bool host_plugin_active();
// The module loaded by host_load_plugin, null when none is.
HMODULE host_plugin_module();

// For tests that hold copies of the module themselves: calls a copy's entry with the record, or
// with null when `load` is false. A copy that accepts the load registers its tick with the
// double.
int32_t host_call_entry(const PluginModule& module, bool load);

// The winmm test double's controls, once winmm_double_ready() has found them.
void winmm_double_set_counts(UINT inputs, UINT outputs);
LONG winmm_double_in_calls();
LONG winmm_double_out_calls();

// Counts every fault in the process from now on, with a vectored handler, which sees it before any
// other handler does: Wine ignores a fault in a window procedure that handles a sent message, and
// Windows may ignore it too or end the process, so neither a run that goes on nor an exit status
// shows it. Nothing is handled. False if the handler could not be installed.
bool watch_for_faults();
void stop_watching_for_faults();
// The faults counted since watch_for_faults(), and the exception code of the first.
LONG faults_seen(DWORD* first_code);
