// The host's side of the plug-in interface: the record it passes at load, the six functions the
// plug-in imports by name, and the tick it registers. What the plug-in does through them goes
// into the transcript.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_api.h"

// A fresh record for one load call. `missing_function` names a host function that get_function
// does not know (empty for none). The record stays valid until the next call.
HostPluginInfo* host_record_make(int32_t api_version, const std::string& missing_function);

// The host's periodic call: the tick registered under "timer", if the plug-in ever registered
// one. An unload does not withdraw it; the host keeps calling it.
void host_record_call_tick();

// The tick number of the last device event sent, so that a host command can say how long after
// it came; a negative value forgets it.
void host_record_note_device_event(long tick);

// The six names the plug-in imports, for checking a scenario's "load missing NAME".
bool host_record_knows_function(const std::string& name);
