// WM_DEVICECHANGE as the system delivers it to the plug-in's window: the headers it carries, and
// a sender in another process. Senders on other threads are in sim/notice_sender.h.
#pragma once

#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <vector>

// The interface classes, from the plug-in: KSCATEGORY_AUDIO is the one a USB MIDI device announces.
#include "monitor/interface_class.h"
#include "sim/notice_sender.h"

// Generous: a cold Wine process takes a second or two to start.
constexpr DWORD SENDER_PROCESS_TIMEOUT_MS = 30000;

// A DEV_BROADCAST_DEVICEINTERFACE_W of the given class with a symbolic-link name, as the system
// sends it to a Unicode window for an arrival or removal (sim/device_notice.h builds it).
std::vector<unsigned char> interface_header(const GUID& interface_class);

// Starts kestrune_device_sender.exe aimed at this process's plug-in window; `arguments` follow
// the process id (empty for one valid arrival).
bool start_sender_process(const wchar_t* arguments, PROCESS_INFORMATION* process);
// Waits for the sender to end, closes its handles and returns its exit code: 0 once its message
// was delivered, 2 when it found no window, 3 when its message was refused, and 1 when it was
// given bad arguments, or did not end in time and was ended.
DWORD finish_sender_process(PROCESS_INFORMATION* process);

// An audio-class arrival sent to this process's plug-in window, as the system sends it: from
// another thread, or from another process, which the header is copied into this one from. Then
// the one host tick whose drain must deliver it. Null once it did; otherwise what went wrong.
const char* arrival_from_another_thread_in_one_tick();
const char* arrival_from_another_process_in_one_tick();
// What the second says of a notice that never reached this thread at all.
extern const char NOTICE_NEVER_ARRIVED[];
