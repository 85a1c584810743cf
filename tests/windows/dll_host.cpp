#include "tests/windows/dll_host.h"

namespace {

PluginModule plugin;
bool plugin_active;

}  // namespace

bool host_load_fresh(const wchar_t* file, std::string* error) {
  host_reset();
  if (GetModuleHandleW(L"kestrune.dll") != nullptr) {
    *error = "kestrune.dll is already loaded";
    return false;
  }
  if (!plugin_module_load(path_beside_program(file).c_str(), &plugin, error)) {
    return false;
  }
  plugin_active = true;
  if (host_call_entry(plugin, true) != 1) {
    *error = "the copy refused the load";
    return false;
  }
  return true;
}

int32_t host_load_again() {
  return host_call_entry(plugin, true);
}

int32_t host_unload_plugin() {
  plugin_active = false;
  return host_call_entry(plugin, false);
}

void host_free_plugin() {
  if (plugin_active) {
    host_unload_plugin();
  }
  plugin_module_free(&plugin);
  host_forget_tick();
}

HMODULE host_plugin_module() {
  return plugin.handle;
}

int32_t host_call_entry(const PluginModule& module, bool load) {
  return module.VelmarPluginEntry(GetModuleHandleW(nullptr), load ? host_record() : nullptr);
}
