// The world velmar-sim, the benchmarks and the Windows tests drive: natively the plug-in linked
// with the simulated Win32 subset, under Wine the real kestrune.dll with the winmm test double.
// The scenario player, the host double and the transcript know nothing else about where they run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/host_double.h"

// Makes the plug-in callable, from the module `plugin_path` where there is one to load (null for
// the default); false with a reason in `error` when it cannot.
bool world_open(const char* plugin_path, char* error, size_t error_size);
PluginEntryFn world_entry();
void world_close();

// The counts midiInGetNumDevs and midiOutGetNumDevs report, and how often each has been read.
void world_set_midi_counts(unsigned inputs, unsigned outputs);
long world_midi_reads(bool inputs);

// WM_DEVICECHANGE with `size` bytes of `header` (none when null), sent to the plug-in's window as
// the system sends it, waiting in order for the host thread's next retrieval; false with no window.
bool world_send_device_change(uintptr_t event, const void* header, size_t size);

// The host's thread stalls, as while it loads a project, while the system sends `event` (none
// when 0) and gives up on it once it has waited 2 s unretrieved, as on a busy receiver.
enum StallOutcome { STALL_NOTICE_KEPT, STALL_NOTICE_LOST, STALL_NO_WINDOW };
StallOutcome world_stall(unsigned milliseconds, uintptr_t event, const void* header, size_t size);

// WM_POWERBROADCAST, sent from another thread for the next tick's drain. False with no window.
bool world_send_power_event(uintptr_t event);

// One WM_DEVICECHANGE of a storm: its event, and its header's bytes (none for a null header).
struct WorldNotice {
  uintptr_t event;
  std::vector<unsigned char> header;
};
// A storm as this world can deliver it: natively queued for the next tick's drain; under Wine,
// where a notice with a header can only be sent, sent one by one from another thread while the
// host's loop delivers each. False unless all arrived.
bool world_send_storm(const std::vector<WorldNotice>& storm);

// The host thread's own message loop between ticks: delivers whatever has been sent to it.
void world_pump_messages();

// Called after every tick: senders whose messages were delivered are done.
void world_after_tick();

// Whether this world plays the steps only the simulated platform has; velmar-sim refuses a scenario
// with one elsewhere, before it plays anything, so the others never call the functions below.
bool world_plays_native_steps();
// A device change sent from the host's own thread and handled before this returns, its header in
// a heap block of exactly `size` bytes, or `poisoned`: memory that must never be read. `answer` is
// the window procedure's result; false when there is no window.
bool world_send_device_change_now(uintptr_t event, const void* header, size_t size, bool poisoned,
                                  intptr_t* answer);
// Another window message, sent from the host's thread or posted. False when there is no window.
bool world_send_message(uint32_t message, uintptr_t first, intptr_t second, bool post);
// The nth call from now of the simulated call `name` fails with `error`; 0 disarms it.
void world_fail_call(const char* name, int nth, uint32_t error);
