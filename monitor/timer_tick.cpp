#include "monitor/timer_tick.h"

#include "monitor/console_log.h"
#include "monitor/monitor_state.h"

namespace {

// Device changes reach the window procedure only while this thread retrieves messages. A host
// whose own loop is slow to do so would let notifications wait, so every tick drains the
// window first. Sent messages (how the system delivers WM_DEVICECHANGE) are handled inside
// PeekMessageA itself. The handle is read once: the loop must never widen to the whole thread's
// queue, whose messages are the host's.
void drain_notification_window() {
  HWND window = monitor_state.notify_window;
  if (window == nullptr) {
    return;
  }
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// The host's MIDI system enumerates its devices for a while after start; counts read earlier
// would make the first real change look like no change, or a settled state look like one.
void count_down_settle() {
  int32_t remaining = --monitor_state.init_ticks_left;
  if (log_enabled() && (remaining % 30 == 0 || remaining <= 5)) {
    console_log("Kestrune: [INIT_COUNTDOWN] Initialization countdown: %d ticks remaining\n",
                remaining);
  }
  if (remaining != 0) {
    return;
  }
  monitor_state.last_in_count = static_cast<int32_t>(midiInGetNumDevs());
  monitor_state.last_out_count = static_cast<int32_t>(midiOutGetNumDevs());
  console_log(
      "Kestrune: [INIT_COMPLETE] Delayed initialization complete - baseline IN: %d, OUT: %d\n",
      monitor_state.last_in_count, monitor_state.last_out_count);
}

void schedule_reset() {
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = RESET_DELAY_TICKS;
}

// The verification waits a few ticks because the system announces a device interface before
// the MIDI driver has published the new port: reading at once often sees the old counts.
void count_down_verification() {
  int32_t remaining = --monitor_state.check_ticks_left;
  if (log_enabled() && remaining <= 3) {
    // Read into locals: argument evaluation order would leave the order of the two calls open.
    int32_t seen_in = static_cast<int32_t>(midiInGetNumDevs());
    int32_t seen_out = static_cast<int32_t>(midiOutGetNumDevs());
    console_log("Kestrune: [EXPERIMENT] At %d ticks: Current IN=%d, OUT=%d | Last IN=%d, OUT=%d\n",
                remaining, seen_in, seen_out, monitor_state.last_in_count,
                monitor_state.last_out_count);
  }
  if (log_enabled() && (remaining % 10 == 0 || remaining <= 3)) {
    console_log(
        "Kestrune: [DEVICE_CHECK_COUNTDOWN] Device verification countdown: %d ticks remaining\n",
        remaining);
  }
  if (remaining > 0) {
    return;
  }
  console_log("Kestrune: [DEVICE_CHECK_NOW] Performing delayed device verification\n");
  int32_t current_in = static_cast<int32_t>(midiInGetNumDevs());
  int32_t current_out = static_cast<int32_t>(midiOutGetNumDevs());
  console_log(
      "Kestrune: [VERIFY] Current counts - IN: %d, OUT: %d | Last counts - IN: %d, OUT: %d\n",
      current_in, current_out, monitor_state.last_in_count, monitor_state.last_out_count);

  if (monitor_state.last_in_count == UNSET_COUNT || monitor_state.last_out_count == UNSET_COUNT) {
    // Nothing to compare against: these counts become the baseline.
    monitor_state.last_in_count = current_in;
    monitor_state.last_out_count = current_out;
    console_log("Kestrune: [BASELINE] Baseline device count established - IN: %d, OUT: %d\n",
                current_in, current_out);
    console_log(
        "Kestrune: [NO_RESET] No MIDI device count change detected after delay, ignoring\n");
  } else {
    bool changed =
        current_in != monitor_state.last_in_count || current_out != monitor_state.last_out_count;
    if (changed) {
      console_log(
          "Kestrune: [CHANGE DETECTED] MIDI device count changed - IN: %d->%d, OUT: %d->%d\n",
          monitor_state.last_in_count, current_in, monitor_state.last_out_count, current_out);
    } else {
      console_log("Kestrune: [NO CHANGE] MIDI device counts unchanged\n");
    }
    monitor_state.last_in_count = current_in;
    monitor_state.last_out_count = current_out;
    if (changed) {
      console_log(
          "Kestrune: [RESET_SCHEDULED] Verified MIDI device change, scheduling delayed reset\n");
      schedule_reset();
    } else {
      // A reset paused by this verification resumes from where it stopped.
      console_log(
          "Kestrune: [NO_RESET] No MIDI device count change detected after delay, ignoring\n");
    }
  }
  monitor_state.check_pending = false;
  monitor_state.check_ticks_left = 0;
}

// The delay lets the driver finish bringing the new port up before the host opens it.
void count_down_reset() {
  int32_t remaining = --monitor_state.reset_ticks_left;
  if (log_enabled() && (remaining % 10 == 0 || remaining <= 3)) {
    console_log("Kestrune: [RESET_COUNTDOWN] Reset countdown: %d ticks remaining\n", remaining);
  }
  if (remaining > 0) {
    return;
  }
  // Cleared before any host call: the host's reset, or its console, may retrieve messages, and a
  // change seen in there may schedule a new reset that must not be wiped out afterwards.
  monitor_state.reset_pending = false;
  monitor_state.reset_ticks_left = 0;
  console_log("Kestrune: [EXECUTING_RESET] EXECUTING DELAYED RESET NOW!\n");
  MainOnCommandFn main_on_command = host_main_on_command();
  if (main_on_command != nullptr) {
    main_on_command(RESET_COMMAND_ID, 0);
    console_log("Kestrune: [RESET_COMPLETE] Windows delayed reset completed\n");
  } else {
    console_log("Kestrune: [ERROR] Main_OnCommand not available!\n");
  }
}

}  // namespace

// Only one countdown advances per tick, settle first: a reset waits while a verification that
// may restart it is still pending.
void on_timer_tick() {
  drain_notification_window();
  if (monitor_state.init_ticks_left > 0) {
    count_down_settle();
  } else if (monitor_state.check_pending) {
    count_down_verification();
  } else if (monitor_state.reset_pending) {
    count_down_reset();
  }
}
