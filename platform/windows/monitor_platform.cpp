// The reset monitor's platform on Windows, and natively on the simulated machine, which declares
// the same calls.
#include "monitor/monitor_platform.h"

// Device changes reach the window procedure only while this thread retrieves messages. A host
// whose own loop is slow to do so would let notifications wait, so every tick drains the
// window first. Sent messages (how the system delivers WM_DEVICECHANGE) are handled inside
// PeekMessageA itself. The window is given once: the loop must never widen to the whole thread's
// queue, whose messages are the host's.
//
// The system hands the thread's WM_QUIT, the one without a window, to any retrieval on the
// thread, whatever window it asks for. It is the host's: posted again with its exit code, for the
// host's own loop to end on, and the drain stops there, or it would take the same message back at
// once. A WM_QUIT that some process posted to the window itself is an ordinary message of the
// window, and is dropped: handed back, it would end the host.
void drain_notification_window(HWND window) {
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      if (message.hwnd != nullptr) {
        continue;
      }
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Read into locals: argument evaluation order would leave the order of the two calls open.
MidiCounts read_midi_counts() {
  MidiCounts counts;
  counts.inputs = static_cast<int32_t>(midiInGetNumDevs());
  counts.outputs = static_cast<int32_t>(midiOutGetNumDevs());
  return counts;
}

uint64_t read_clock_ms() {
  return GetTickCount64();
}
