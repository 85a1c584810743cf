// How tests and the native velmar-sim set up, inspect and drive the simulated Win32 world.
#pragma once

#include <cstddef>

#include "platform/simulated/sim_call_list.h"
#include "platform/simulated/win32_subset.h"

enum SimCall : int {
#define SIM_CALL_IDENTIFIER(identifier, name, can_fail) identifier,
  SIM_CALLS(SIM_CALL_IDENTIFIER)
#undef SIM_CALL_IDENTIFIER
      SIM_CALL_COUNT
};

const char* sim_call_name(SimCall call);
// The call of that Win32 name; false for a name the simulation does not know.
bool sim_call_from_name(const char* name, SimCall* call);

// A fresh machine: no classes, windows, messages, registrations, ports, calls or injected failures.
void sim_reset();

// Calls made since the last reset or sim_clear_calls().
int sim_call_count(SimCall call);
void sim_clear_calls();

// The order of calls made since the last clear; the journal keeps the first SIM_JOURNAL_CAPACITY.
constexpr int SIM_JOURNAL_CAPACITY = 4096;
int sim_journal_length();
SimCall sim_journal_entry(int index);

// The nth call of `call` from now (1 = the next) fails with `error` as its last error.
void sim_fail_call(SimCall call, DWORD error, int nth = 1);
// The same for the nth call of any kind that can fail; 0 disarms it. sim_failed_call says which
// call it hit: SIM_CALL_COUNT while none.
void sim_fail_nth_call(int nth, DWORD error);
SimCall sim_failed_call();

// The host executable's instance, as GetModuleHandleW(nullptr) reports it on Windows; and the
// plug-in's, a module apart, which GetModuleHandleExW reports for any address.
HINSTANCE sim_host_module();
HINSTANCE sim_plugin_module();

// The clock GetTickCount64 reads moves only when told. A message sent from outside that has waited
// SIM_SEND_TIMEOUT_MS by then is dropped unread, as the system drops a device notice whose
// receiver took too long; sim_lost_message_count counts them since the last reset.
constexpr unsigned SIM_SEND_TIMEOUT_MS = 2000;
void sim_advance_clock(unsigned milliseconds);
int sim_lost_message_count();

// A window that GetWindowThreadProcessId says is another process's; and that process destroying
// each of its windows right after FindWindowExW found it, as it may between two steps of a scan.
void sim_give_window_to_another_process(HWND window);
void sim_destroy_found_windows_of_other_processes(bool destroy);

// Live objects, to prove that nothing is left behind; suspend/resume registrations apart.
int sim_class_count();
int sim_window_count();
int sim_registration_count();
int sim_power_registration_count();
// Whether any window is registered for notifications of exactly this interface class.
bool sim_registered_for(const GUID& interface_class);
int sim_queued_message_count(HWND window);

// The last call that reached the default window procedure.
struct SimDefaultProcCall {
  HWND window;
  UINT message;
  WPARAM first;
  LPARAM second;
};
SimDefaultProcCall sim_last_default_proc_call();

// The simulated machine. Plugging or unplugging changes the count first, as the driver publishes
// its port, then sends WM_DEVICECHANGE with an interface header of the class to every window
// registered for it, delivered at its thread's next message retrieval.
enum SimMidiPort { SIM_MIDI_INPUT, SIM_MIDI_OUTPUT };
void sim_set_midi_counts(UINT inputs, UINT outputs);
void sim_plug_device(SimMidiPort port, const GUID& interface_class);
void sim_unplug_device(SimMidiPort port, const GUID& interface_class);
// An interface announced with no change to the counts: a device whose MIDI ports the system
// publishes later, or one that has none.
void sim_announce_interface(WPARAM event, const GUID& interface_class);
// WM_POWERBROADCAST, sent to every window registered for suspend and resume.
void sim_power_event(WPARAM event);

// A message sent by another thread or process, without waiting for its result: delivered by the
// window thread's next PeekMessageA, before any posted message. A header's `size` bytes are
// copied, as between processes, and the procedure gets a pointer to the copy.
void sim_send_from_outside(HWND window, UINT message, WPARAM first, LPARAM second);
void sim_send_device_change_from_outside(HWND window, WPARAM event, const void* header,
                                         size_t size);
