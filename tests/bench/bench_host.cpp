#include "tests/bench/bench_host.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/plugin_entry.h"
#include "monitor/monitor_state.h"

namespace {

using TickFn = void (*)();
TickFn registered_tick;
int reset_commands;

void count_main_on_command(int32_t command, int32_t flag) {
  reset_commands += command == RESET_COMMAND_ID && flag == 0 ? 1 : 0;
}

void ignore_console_msg(const char*) {}

// The four the plug-in imports but never calls.
void never_called() {}

void* get_function(const char* name) {
  if (std::strcmp(name, "Main_OnCommand") == 0) {
    return reinterpret_cast<void*>(&count_main_on_command);
  }
  if (std::strcmp(name, "ShowConsoleMsg") == 0) {
    return reinterpret_cast<void*>(&ignore_console_msg);
  }
  return reinterpret_cast<void*>(&never_called);
}

int register_callback(const char* name, void* value) {
  if (std::strcmp(name, "timer") == 0) {
    registered_tick = reinterpret_cast<TickFn>(value);
  }
  return 1;
}

}  // namespace

bool bench_load_plugin(UINT inputs, UINT outputs) {
  sim_reset();
  sim_set_midi_counts(inputs, outputs);
  registered_tick = nullptr;
  reset_commands = 0;
  HostPluginInfo record{};
  record.api_version = HOST_API_VERSION;
  record.register_callback = register_callback;
  record.get_function = get_function;
  if (VelmarPluginEntry(nullptr, &record) != 1 || registered_tick == nullptr) {
    std::fprintf(stderr, "bench: the plug-in refused the host record\n");
    return false;
  }
  return true;
}

void bench_unload_plugin() {
  VelmarPluginEntry(nullptr, nullptr);
}

void bench_tick() {
  registered_tick();
}

void bench_ticks(long count) {
  for (long i = 0; i < count; ++i) {
    registered_tick();
  }
}

int bench_reset_commands() {
  return reset_commands;
}
