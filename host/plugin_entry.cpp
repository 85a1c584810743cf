#include "host/plugin_entry.h"

#include "monitor/console_log.h"
#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "platform/windows/notification_window.h"

namespace {

// Every name is requested, even after one is missing, so every slot holds its own lookup's
// result. Returns how many were missing.
int import_host_functions(const HostPluginInfo& info) {
  int missing = 0;
  for (const HostImport& import : host_import_table) {
    void* function = info.get_function(import.name);
    monitor_state.host_functions[import.slot] = function;
    missing += function == nullptr ? 1 : 0;
  }
  return missing;
}

int32_t load(const HostPluginInfo& info) {
  // A record without its two functions is refused like one of another version: calling through
  // a null pointer would take the host down with the plug-in.
  if (info.api_version != HOST_API_VERSION || info.get_function == nullptr ||
      info.register_callback == nullptr) {
    return 0;
  }
  if (import_host_functions(info) != 0) {
    return 0;
  }
  if (!start_device_monitoring()) {
    return 0;
  }
  // The window exists before the tick is registered, so the first tick already drains it.
  info.register_callback("timer", reinterpret_cast<void*>(&on_timer_tick));
  settle_after_load();
  console_log("Kestrune: Plugin loaded - event-driven monitoring with delayed reset active\n");
  return 1;
}

// The unload call carries no record, so the tick cannot be unregistered; after this every tick
// the host still makes finds nothing to do.
int32_t unload() {
  stop_device_monitoring();
  reset_to_idle();
  return 0;
}

}  // namespace

extern "C" KESTRUNE_EXPORT int32_t VelmarPluginEntry(void* instance, HostPluginInfo* info) {
  (void)instance;  // the window's class finds this module by its own address
  return info != nullptr ? load(*info) : unload();
}
