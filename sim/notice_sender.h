// WM_DEVICECHANGE sent to a window from a thread of its own, as the system sends device notices:
// the sender blocks in SendMessageW until the window's thread retrieves messages, and the message
// waits in that thread's queue meanwhile. Used by velmar-sim.exe and the Windows tests alike.
#pragma once

#include <windows.h>

#include <vector>

// Generous: a send reaches the queue within milliseconds, and a retrieval delivers it at once.
// Only a broken world waits this long, and then it says so rather than hang.
constexpr DWORD SENDER_TIMEOUT_MS = 10000;

// A thread blocked in SendMessageW until the window's thread delivers its message. The header
// bytes are the sender's own, as they would be in another process. With a timeout it sends as
// the system sends its notices, giving up on a receiver that does not retrieve it in time, or
// that counts as hung.
struct DeviceChangeSender {
  HANDLE thread;
  HWND window;
  WPARAM event;
  std::vector<unsigned char> header;
  DWORD timeout_ms = 0;    // 0 to wait for as long as it takes
  UINT message = 0;        // 0 for WM_DEVICECHANGE
  bool delivered = false;  // once the thread has ended
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
// Delivers whatever is sent to this thread until the sender is done, then closes its thread.
// False if it never finished: its header may still be read, so it must be left alive.
bool join_sender(DeviceChangeSender* sender);

// A host's message loop between ticks: any retrieval delivers the messages sent to this thread,
// and one that removes nothing leaves the host's posted messages alone.
void deliver_sent_messages();
// Runs `retrieve` again each time something is sent to this thread, and at least every host tick
// period, until `sender` (a thread or a process) ends: a host that waits still ticks, and a tick
// late by a second would find a stall. False if it had not ended after `timeout_ms`.
bool deliver_until_ended(HANDLE sender, DWORD timeout_ms, void (*retrieve)());
