// What the reset monitor asks of the platform, and nothing more: the notification window's
// messages delivered, the MIDI device counts, and the time. A seam chosen at link time, as
// platform/win32.h is: the plug-in links platform/windows/monitor_platform.cpp, the Windows calls,
// which natively meet the simulated machine; the probe's replay of a recorded watch links answers
// from its record (probe/replay_platform.cpp). Nothing in monitor/ calls the platform otherwise.
#pragma once

#include <cstdint>

#include "platform/win32.h"

struct MidiCounts {
  int32_t inputs;
  int32_t outputs;
};

// Hands every message waiting for the window to its procedure, and leaves the rest of the
// thread's queue to the host.
void drain_notification_window(HWND window);
// The numbers of MIDI inputs and outputs, read in that order.
MidiCounts read_midi_counts();
// Milliseconds since the system started, time asleep included.
uint64_t read_clock_ms();
