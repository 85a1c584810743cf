// kestrune_device_sender.exe, run as another process that sends WM_DEVICECHANGE to this one's
// plug-in window, as the system's own notifications come.
#pragma once

#include <windows.h>

// Starts the sender aimed at this process; `arguments` follow the process id (empty for one
// valid arrival).
bool start_sender_process(const wchar_t* arguments, PROCESS_INFORMATION* process);

struct SenderDelivery {
  bool pending;     // the message reached this thread's queue
  bool finished;    // the sender ended: its message was handled
  DWORD exit_code;  // 1 when it could not be read
};

// Waits until the sender's message is pending, runs one host tick so that the tick's drain
// delivers it, then waits for the sender to end (ending it if it does not) and closes its handles.
SenderDelivery deliver_in_one_tick(PROCESS_INFORMATION* process);
