// WM_DEVICECHANGE as the system sends device notices: from a thread of its own, blocked in
// SendMessageW until the window's thread retrieves messages, or from another process, whose
// header is copied into this one. Used by velmar-sim.exe and the Windows tests alike.
#pragma once

#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <vector>

// The interface classes, from the plug-in: KSCATEGORY_AUDIO is the one a USB MIDI device announces.
#include "monitor/interface_class.h"

// Generous: only a broken world waits this long for a send, and then it says so rather than hang.
constexpr DWORD SENDER_TIMEOUT_MS = 10000;
// Generous: a cold Wine process takes a second or two to start.
constexpr DWORD SENDER_PROCESS_TIMEOUT_MS = 30000;

// A DEV_BROADCAST_DEVICEINTERFACE_W of the given class with a symbolic-link name, as the system
// sends it to a Unicode window for an arrival or removal (sim/device_notice.h builds it).
std::vector<unsigned char> interface_header(const GUID& interface_class);

// A thread blocked in SendMessageW until the window's thread delivers its message; the header
// bytes are its own, as another process's would be. With a timeout it sends as the system sends
// its notices, giving up on a receiver that is slow or counts as hung.
struct DeviceChangeSender {
  HANDLE thread;
  HWND window;
  WPARAM event;
  std::vector<unsigned char> header;
  DWORD timeout_ms = 0;    // 0 to wait for as long as it takes
  UINT message = 0;        // 0 for WM_DEVICECHANGE
  bool delivered = false;  // once the thread has ended
};

// SendMessageTimeoutW from this thread; false when the send failed or gave up.
bool send_waiting(HWND window, UINT message, WPARAM first, const void* second, UINT flags,
                  DWORD timeout_ms);

// Starts the sender and returns once its message is pending for this thread; false if it never
// got there. The caller owns the sender and must join it.
bool send_from_another_thread(DeviceChangeSender* sender);
// True if the sender's SendMessageW returned within the time given.
bool sender_finished(const DeviceChangeSender& sender, DWORD timeout_ms);
// Delivers whatever is sent to this thread until the sender is done, then closes its thread.
// False if it never finished: its header may still be read, so it must be left alive.
bool join_sender(DeviceChangeSender* sender);

// A host's message loop between ticks: a retrieval that removes nothing delivers what was sent
// to this thread and leaves the host's posted messages alone.
void deliver_sent_messages();
// Runs `retrieve` again each time something is sent to this thread, and at least every host tick
// period, until `sender` (a thread or a process) ends: a host that waits still ticks, and a tick
// late by a second would find a stall. False if it had not ended after `timeout_ms`.
bool deliver_until_ended(HANDLE sender, DWORD timeout_ms, void (*retrieve)());

// Starts kestrune_device_sender.exe aimed at this process's plug-in window; `arguments` follow
// the process id (empty for one valid arrival). Its exit codes are in device_sender.cpp; finish
// it with finish_program and SENDER_PROCESS_TIMEOUT_MS.
bool start_sender_process(const wchar_t* arguments, PROCESS_INFORMATION* process);

// An audio-class arrival sent to this process's plug-in window from another thread or process,
// then the one host tick whose drain must deliver it. Null once it did; otherwise what went wrong.
const char* arrival_from_another_thread_in_one_tick();
const char* arrival_from_another_process_in_one_tick();
// What the second says of a notice that never reached this thread at all.
extern const char NOTICE_NEVER_ARRIVED[];
