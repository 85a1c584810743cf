// The native world: the plug-in's sources linked into velmar-sim, on the simulated Win32 subset.
// The simulated machine stands in for the operating system: it holds the MIDI port counts and
// queues notifications to the plug-in's window as another thread's sends.
#include <cstdio>

#include "host/plugin_entry.h"
#include "platform/simulated/sim_control.h"
#include "sim/world.h"

bool world_open(const char* plugin_path, char* error, size_t error_size) {
  if (plugin_path != nullptr) {
    std::snprintf(error, error_size,
                  "--plugin is for a build that loads the plug-in; this one has it linked in");
    return false;
  }
  sim_reset();
  return true;
}

PluginEntryFn world_entry() {
  return &VelmarPluginEntry;
}

void world_close() {
  sim_reset();
}

void world_set_midi_counts(unsigned inputs, unsigned outputs) {
  sim_set_midi_counts(inputs, outputs);
}

// Sent to the window itself rather than through its registration, in both worlds alike: a
// scenario may send what the system would not (a class the window never asked for, a cut header)
// to show what the plug-in makes of it.
bool world_send_device_change(uintptr_t event, const void* header, size_t size) {
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"KestruneWindow", nullptr);
  if (window == nullptr) {
    return false;
  }
  sim_send_device_change_from_outside(window, event, header, size);
  return true;
}

void world_pump_messages() {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

// Sends from outside do not wait for their result here, so there is no sender to finish.
void world_after_tick() {}
