// The world velmar-sim, the benchmarks and the Windows tests drive: natively the plug-in linked
// with the simulated Win32 subset, under Wine the real kestrune.dll with the winmm test double.
// The scenario player, the host double and the transcript know nothing else about where they run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/host_double.h"

// Makes the plug-in callable. `plugin_path` names the module to load where there is one to load
// (null for the default); on failure writes a reason into `error` and returns false.
bool world_open(const char* plugin_path, char* error, size_t error_size);
PluginEntryFn world_entry();
void world_close();

// The machine's MIDI ports as midiInGetNumDevs and midiOutGetNumDevs report them, and how often
// each has been asked since the world was opened.
void world_set_midi_counts(unsigned inputs, unsigned outputs);
long world_midi_reads(bool inputs);

// WM_DEVICECHANGE sent to the plug-in's window from outside the host's thread, as the system
// sends it, with `size` bytes of `header` (none when null). It waits until the host thread next
// retrieves messages, in order with any sent before it. False when there is no window.
bool world_send_device_change(uintptr_t event, const void* header, size_t size);

// The host's thread stalls for `milliseconds`, as a host's does while it loads a project, while
// the system sends `event` (none when 0) and gives up on it once it has waited 2 s unretrieved,
// as it gives up on a busy receiver.
enum StallOutcome { STALL_NOTICE_KEPT, STALL_NOTICE_LOST, STALL_NO_WINDOW };
StallOutcome world_stall(unsigned milliseconds, uintptr_t event, const void* header, size_t size);

// WM_POWERBROADCAST with this event, sent from another thread as the system sends it, for the
// next tick's drain. False when there is no window.
bool world_send_power_event(uintptr_t event);

// One WM_DEVICECHANGE of a storm: its event, and its header's bytes (none for a null header).
struct WorldNotice {
  uintptr_t event;
  std::vector<unsigned char> header;
};
// A storm as this world can deliver it: natively queued for the next tick's drain; under Wine,
// where a notice with a header can only be sent and a send waits for the host's thread, sent one
// by one from another thread while the host's loop delivers each. False unless all arrived.
bool world_send_storm(const std::vector<WorldNotice>& storm);

// The host thread's own message loop between ticks: delivers whatever has been sent to it.
void world_pump_messages();

// Called after every tick: senders whose messages were delivered are done.
void world_after_tick();

// Whether this world plays the steps that exist only on the simulated platform. The others never
// call the functions below: velmar-sim refuses such a scenario before it plays anything.
bool world_plays_native_steps();
// A device change sent from the host's own thread and handled before this returns, its header in
// a heap block of exactly `size` bytes, or pointing at memory that must never be read. False when
// there is no window; `answer` is what the window procedure returned.
bool world_send_device_change_now(uintptr_t event, const void* header, size_t size, bool poisoned,
                                  intptr_t* answer);
// Another window message, sent from the host's thread or posted to the window. False when there
// is no window.
bool world_send_message(uint32_t message, uintptr_t first, intptr_t second, bool post);
// The nth call from now of the simulated call `name` fails with `error`; 0 disarms it.
void world_fail_call(const char* name, int nth, uint32_t error);
