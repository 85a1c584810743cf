// The native world: the plug-in's sources linked in, on the simulated Win32 subset, whose machine
// holds the MIDI port counts and queues notifications to the window as another thread's sends.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/plugin_entry.h"
#include "platform/simulated/sim_control.h"
#include "platform/windows/window_class.h"
#include "sim/asan_build.h"
#include "sim/world.h"

#if KESTRUNE_ASAN
#include <sanitizer/asan_interface.h>
#endif

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

long world_midi_reads(bool inputs) {
  return sim_call_count(inputs ? SIM_MIDI_IN_GET_NUM_DEVS : SIM_MIDI_OUT_GET_NUM_DEVS);
}

namespace {

HWND plugin_window() {
  return FindWindowExW(HWND_MESSAGE, nullptr, WINDOW_CLASS_NAME, nullptr);
}

// Memory no header may point to, poisoned (again, harmlessly) so that ASan reports any read of it.
unsigned char* poisoned_header() {
  alignas(16) static unsigned char forbidden[64];
#if KESTRUNE_ASAN
  __asan_poison_memory_region(forbidden, sizeof forbidden);
#endif
  return forbidden;
}

}  // namespace

// Straight to the window, not through its registration, in both worlds: a scenario may send what
// the system would not (an unasked-for class, a cut header) to show what the plug-in makes of it.
bool world_send_device_change(uintptr_t event, const void* header, size_t size) {
  HWND window = plugin_window();
  if (window == nullptr) {
    return false;
  }
  sim_send_device_change_from_outside(window, event, header, size);
  return true;
}

StallOutcome world_stall(unsigned milliseconds, uintptr_t event, const void* header, size_t size) {
  if (event != 0 && !world_send_device_change(event, header, size)) {
    return STALL_NO_WINDOW;
  }
  int lost = sim_lost_message_count();
  sim_advance_clock(milliseconds);
  return sim_lost_message_count() > lost ? STALL_NOTICE_LOST : STALL_NOTICE_KEPT;
}

// As the system would, to the windows registered for suspend and resume: a window whose
// registration failed does not hear it.
bool world_send_power_event(uintptr_t event) {
  if (plugin_window() == nullptr) {
    return false;
  }
  sim_power_event(event);
  return true;
}

bool world_send_storm(const std::vector<WorldNotice>& storm) {
  HWND window = plugin_window();
  for (const WorldNotice& notice : storm) {
    sim_send_device_change_from_outside(window, notice.event,
                                        notice.header.empty() ? nullptr : notice.header.data(),
                                        notice.header.size());
  }
  return window != nullptr && sim_queued_message_count(window) == static_cast<int>(storm.size());
}

void world_pump_messages() {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

// Sends from outside do not wait for their result here, so there is no sender to finish.
void world_after_tick() {}

bool world_plays_native_steps() {
  return true;
}

// A header block of exactly its size, so that a read past its end is caught.
bool world_send_device_change_now(uintptr_t event, const void* header, size_t size, bool poisoned,
                                  intptr_t* answer) {
  HWND window = plugin_window();
  if (window == nullptr) {
    return false;
  }
  void* block = nullptr;
  if (poisoned) {
    block = poisoned_header();
  } else if (header != nullptr) {
    block = std::malloc(size > 0 ? size : 1);
    std::memcpy(block, header, size);
  }
  *answer = SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(block));
  if (!poisoned) {
    std::free(block);
  }
  return true;
}

bool world_send_message(uint32_t message, uintptr_t first, intptr_t second, bool post) {
  HWND window = plugin_window();
  if (window == nullptr) {
    return false;
  }
  if (post) {
    PostMessageW(window, message, first, second);
  } else {
    SendMessageW(window, message, first, second);
  }
  return true;
}

void world_fail_call(const char* name, int nth, uint32_t error) {
  SimCall call;
  if (sim_call_from_name(name, &call)) {
    sim_fail_call(call, error, nth);
  }
}
