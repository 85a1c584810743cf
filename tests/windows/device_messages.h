// WM_DEVICECHANGE as the system delivers it to the plug-in's window: the headers it carries, and
// senders on other threads whose messages wait in the host thread's queue until it retrieves
// messages.
#pragma once

#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <vector>

// The interface classes, from the plug-in: KSCATEGORY_AUDIO is the one a USB MIDI device announces.
#include "monitor/interface_class.h"

// The plug-in's message-only window in the given process, or null when it has none there.
// Message-only windows are found desktop-wide, and other test programs may be running with
// their own copy of the plug-in loaded.
HWND plugin_window_of(DWORD process_id);
// The one in this process.
HWND plugin_window();

// A DEV_BROADCAST_DEVICEINTERFACE_W of the given class with a symbolic-link name, as the system
// sends it to a Unicode window for an arrival or removal (sim/device_notice.h builds it).
std::vector<unsigned char> interface_header(const GUID& interface_class);

// A thread blocked in SendMessageW until the window's thread delivers its message. The header
// bytes are the sender's own, as they would be in another process.
struct DeviceChangeSender {
  HANDLE thread;
  HWND window;
  WPARAM event;
  std::vector<unsigned char> header;
};

// Clears the queue's record of new sent messages, so that the next wait sees only later ones.
void forget_earlier_sent_messages();
// True once a message sent after the last forget_earlier_sent_messages() waits in this thread's
// queue. GetQueueStatus only looks: it delivers nothing. False if `sender` (a thread or process)
// ends first or the time runs out.
bool wait_for_sent_message(HANDLE sender, DWORD timeout_ms);

// Starts the sender and returns once its message is pending for this thread; false if it never
// got there. The caller owns the sender and must join it.
bool send_from_another_thread(DeviceChangeSender* sender);
// True if the sender's SendMessageW returned within the time given.
bool sender_finished(const DeviceChangeSender& sender, DWORD timeout_ms);
void join_sender(DeviceChangeSender* sender);
