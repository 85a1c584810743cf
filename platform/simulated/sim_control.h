// What tests and the native host simulator use to set up and inspect the simulated Win32 world:
// reset it, fail a chosen call, read the call journal, and drive the simulated machine.
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

// A fresh machine: no classes, windows, queued messages or registrations; no MIDI devices;
// counters, journal and injected failures cleared.
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
// The nth call from now of any kind that can fail fails with `error`; 0 disarms it. Which call it
// hit, SIM_CALL_COUNT while it has hit none.
void sim_fail_nth_call(int nth, DWORD error);
SimCall sim_failed_call();

// The instance of the host's executable, which GetModuleHandleW(nullptr) reports on Windows.
HINSTANCE sim_host_module();
// The instance GetModuleHandleExW reports for an address: the plug-in is one module, apart from
// the executable that loaded it.
HINSTANCE sim_plugin_module();

// The clock GetTickCount64 reads, in milliseconds. Time passes only when a test or the host
// double moves it on; a message sent from outside that has waited SIM_SEND_TIMEOUT_MS by then is
// dropped unread, as the system drops a device notice its receiver's thread took too long for.
constexpr unsigned SIM_SEND_TIMEOUT_MS = 2000;
void sim_advance_clock(unsigned milliseconds);
// Sent messages dropped so since the last reset.
int sim_lost_message_count();

// Another process's window of a class of this one's name, as far as GetWindowThreadProcessId
// tells; and that process destroying each of its windows right after FindWindowExW found it, as it
// may between two steps of a scan.
void sim_give_window_to_another_process(HWND window);
void sim_destroy_found_windows_of_other_processes(bool destroy);

// Live objects, to prove that nothing is left behind. Device registrations and suspend/resume
// registrations are counted apart.
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
// its port, and then sends WM_DEVICECHANGE with a device-interface header of the given class to
// every window registered for it, delivered at its thread's next message retrieval.
enum SimMidiPort { SIM_MIDI_INPUT, SIM_MIDI_OUTPUT };
void sim_set_midi_counts(UINT inputs, UINT outputs);
void sim_plug_device(SimMidiPort port, const GUID& interface_class);
void sim_unplug_device(SimMidiPort port, const GUID& interface_class);
// An interface announced with no change to the counts: a device whose MIDI ports the system
// publishes later, or one that has none.
void sim_announce_interface(WPARAM event, const GUID& interface_class);
// A power event, sent as WM_POWERBROADCAST to every window registered for suspend and resume.
void sim_power_event(WPARAM event);

// A message sent by another thread or process: queued to the window's thread and delivered by
// its next PeekMessageA, before any posted message. The sender does not wait for the result.
// With a header, `size` bytes are copied, as the system marshals a message between processes,
// and the second parameter points to the copy when the procedure runs.
void sim_send_from_outside(HWND window, UINT message, WPARAM first, LPARAM second);
void sim_send_device_change_from_outside(HWND window, WPARAM event, const void* header,
                                         size_t size);
