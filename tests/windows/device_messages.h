// WM_DEVICECHANGE as the system delivers it to the plug-in's window: the window to send to and
// the headers it carries. Senders on other threads are in sim/notice_sender.h.
#pragma once

#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <vector>

// The interface classes, from the plug-in: KSCATEGORY_AUDIO is the one a USB MIDI device announces.
#include "monitor/interface_class.h"
#include "sim/notice_sender.h"
#include "sim/plugin_windows.h"

// The plug-in's message-only window in the given process, or null when it has none there; the
// one in this process is plugin_window() (sim/plugin_windows.h).
HWND plugin_window_of(DWORD process_id);

// A DEV_BROADCAST_DEVICEINTERFACE_W of the given class with a symbolic-link name, as the system
// sends it to a Unicode window for an arrival or removal (sim/device_notice.h builds it).
std::vector<unsigned char> interface_header(const GUID& interface_class);
