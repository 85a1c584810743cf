#include "monitor/timer_tick.h"

#include "monitor/console_log.h"
#include "monitor/device_change.h"
#include "monitor/monitor_platform.h"
#include "monitor/monitor_state.h"

// Every countdown step settles the state before it writes a console line: the host's console may
// retrieve messages, run a tick or even unload the plug-in while it shows one, and must then meet
// the state as this step leaves it, never a reset that is about to run or about to be scheduled.

namespace {

// Only while there is a window to drain: after an unload, or before a load, a tick makes no call
// at all. The time is stored before anything can write a console line, whose host may run a
// tick of its own.
bool found_a_stall() {
  if (monitor_state.notify_window == nullptr) {
    return false;
  }
  uint64_t now = read_clock_ms();
  uint64_t previous = monitor_state.last_tick_ms;
  monitor_state.last_tick_ms = now;
  return previous != 0 && now - previous >= STALL_MS;
}

// The host's MIDI system enumerates its devices for a while after start; counts read earlier
// would make the first real change look like no change, or a settled state look like one.
void count_down_settle() {
  int32_t remaining = --monitor_state.init_ticks_left;
  if (remaining == 0) {
    MidiCounts baseline = read_midi_counts();
    monitor_state.last_in_count = baseline.inputs;
    monitor_state.last_out_count = baseline.outputs;
  }
  if (!log_enabled()) {
    return;
  }
  int32_t baseline_in = monitor_state.last_in_count;
  int32_t baseline_out = monitor_state.last_out_count;
  if (remaining % 30 == 0 || remaining <= 5) {
    console_log("Kestrune: [INIT_COUNTDOWN] Initialization countdown: %d ticks remaining\n",
                remaining);
  }
  if (remaining == 0) {
    console_log(
        "Kestrune: [INIT_COMPLETE] Delayed initialization complete - baseline IN: %d, OUT: %d\n",
        baseline_in, baseline_out);
  }
}

enum VerificationResult { NOT_YET, BASELINE_ADOPTED, COUNTS_CHANGED, HANDLES_DEAD, UNCHANGED };

// One verification step, as its console lines need it once the state has moved on.
struct Verification {
  int32_t remaining;
  VerificationResult result;
  bool early_reading;  // seen_in and seen_out were read, for the diagnostic line alone
  int32_t seen_in;
  int32_t seen_out;
  int32_t current_in;
  int32_t current_out;
  int32_t last_in;
  int32_t last_out;
  // The records it found, before a reset it schedules clears them.
  bool port_removed;
  bool resumed;
  bool port_arrived;
};

// The verification waits a few ticks because the system announces a device interface before
// the MIDI driver has published the new port: reading at once often sees the old counts.
//
// A port removed, or a resume from sleep, since the last verification means a reset whatever the
// counts say: after a quick re-plug they are equal again, and after a sleep they never moved,
// while the host would go on holding handles that are dead.
Verification verify() {
  Verification step{};
  step.remaining = --monitor_state.check_ticks_left;
  step.last_in = monitor_state.last_in_count;
  step.last_out = monitor_state.last_out_count;
  if (log_enabled() && step.remaining <= 3) {
    step.early_reading = true;
    MidiCounts seen = read_midi_counts();
    step.seen_in = seen.inputs;
    step.seen_out = seen.outputs;
  }
  if (step.remaining > 0) {
    step.result = NOT_YET;
    return step;
  }
  MidiCounts current = read_midi_counts();
  step.current_in = current.inputs;
  step.current_out = current.outputs;
  step.port_removed = monitor_state.port_removed;
  step.resumed = monitor_state.resumed;
  step.port_arrived = monitor_state.port_arrived;
  bool changed = step.current_in != step.last_in || step.current_out != step.last_out;
  monitor_state.last_in_count = step.current_in;
  monitor_state.last_out_count = step.current_out;
  if (step.last_in == UNSET_COUNT || step.last_out == UNSET_COUNT) {
    // Nothing to compare against: these counts become the baseline.
    step.result = BASELINE_ADOPTED;
  } else if (changed || step.port_removed || step.resumed) {
    step.result = changed ? COUNTS_CHANGED : HANDLES_DEAD;
    schedule_reset();
  } else {
    // A reset paused by this verification resumes from where it stopped, and the counts get two
    // more looks: the ports may not have been counted yet.
    step.result = UNCHANGED;
    start_looks();
  }
  monitor_state.check_pending = false;
  monitor_state.check_ticks_left = 0;
  return step;
}

void report_verification(const Verification& step) {
  if (!log_enabled()) {
    return;
  }
  if (step.early_reading) {
    console_log("Kestrune: [EXPERIMENT] At %d ticks: Current IN=%d, OUT=%d | Last IN=%d, OUT=%d\n",
                step.remaining, step.seen_in, step.seen_out, step.last_in, step.last_out);
  }
  if (step.remaining % 10 == 0 || step.remaining <= 3) {
    console_log(
        "Kestrune: [DEVICE_CHECK_COUNTDOWN] Device verification countdown: %d ticks remaining\n",
        step.remaining);
  }
  if (step.result == NOT_YET) {
    return;
  }
  console_log("Kestrune: [DEVICE_CHECK_NOW] Performing delayed device verification\n");
  console_log(
      "Kestrune: [VERIFY] Current counts - IN: %d, OUT: %d | Last counts - IN: %d, OUT: %d\n",
      step.current_in, step.current_out, step.last_in, step.last_out);
  if (step.result == BASELINE_ADOPTED) {
    console_log("Kestrune: [BASELINE] Baseline device count established - IN: %d, OUT: %d\n",
                step.current_in, step.current_out);
  } else if (step.result == COUNTS_CHANGED) {
    console_log("Kestrune: [CHANGE DETECTED] MIDI device count changed - IN: %d->%d, OUT: %d->%d\n",
                step.last_in, step.current_in, step.last_out, step.current_out);
  } else {
    console_log("Kestrune: [NO CHANGE] MIDI device counts unchanged\n");
  }
  if (step.result == HANDLES_DEAD && step.port_removed) {
    console_log(
        "Kestrune: [PORT_REMOVED] A MIDI port was removed since the last verification - its "
        "handle is dead\n");
  }
  if (step.result == HANDLES_DEAD && step.resumed) {
    console_log(
        "Kestrune: [RESUMED] The system resumed from sleep since the last verification - the MIDI "
        "handles may be dead\n");
  }
  if (step.result == COUNTS_CHANGED || step.result == HANDLES_DEAD) {
    console_log(
        "Kestrune: [RESET_SCHEDULED] Verified MIDI device change, scheduling delayed reset\n");
    return;
  }
  console_log("Kestrune: [NO_RESET] No MIDI device count change detected after delay, ignoring\n");
  if (step.result == UNCHANGED && step.port_arrived) {
    console_log(
        "Kestrune: [PORT_ARRIVED] A MIDI port arrived with the counts unchanged - the last look "
        "resets if no look sees them move\n");
  }
}

enum LookResult { LOOK_NOT_YET, LOOK_UNCHANGED, LOOK_CHANGED, LOOK_PORT_ARRIVED };

struct Look {
  LookResult result;
  bool last;
  int32_t current_in;
  int32_t current_out;
  int32_t last_in;
  int32_t last_out;
};

// Ports a slow driver counts late show here with no notice of their own. A look that sees them
// ends its series: the reset it schedules re-opens every device anyway. A port that arrived
// without moving the counts has had every look to be counted in by the last one, so the host
// re-opens the devices then; earlier, the MIDI service might not list the port yet.
Look take_look() {
  Look look{};
  if (--monitor_state.look_ticks_left > 0) {
    look.result = LOOK_NOT_YET;
    return look;
  }
  look.last = monitor_state.last_look;
  MidiCounts current = read_midi_counts();
  look.current_in = current.inputs;
  look.current_out = current.outputs;
  look.last_in = monitor_state.last_in_count;
  look.last_out = monitor_state.last_out_count;
  if (look.current_in != look.last_in || look.current_out != look.last_out) {
    monitor_state.last_in_count = look.current_in;
    monitor_state.last_out_count = look.current_out;
    end_looks();
    schedule_reset();
    look.result = LOOK_CHANGED;
  } else if (look.last && monitor_state.port_arrived) {
    end_looks();
    schedule_reset();
    look.result = LOOK_PORT_ARRIVED;
  } else if (look.last) {
    end_looks();
    look.result = LOOK_UNCHANGED;
  } else {
    monitor_state.last_look = true;
    monitor_state.look_ticks_left = LAST_LOOK_TICKS - SECOND_LOOK_TICKS;
    look.result = LOOK_UNCHANGED;
  }
  return look;
}

void report_look(const Look& look) {
  if (!log_enabled() || look.result == LOOK_NOT_YET) {
    return;
  }
  console_log(look.last ? "Kestrune: [LAST_LOOK] Last look at the MIDI device counts - IN: %d, "
                          "OUT: %d | Last counts - IN: %d, OUT: %d\n"
                        : "Kestrune: [SECOND_LOOK] Second look at the MIDI device counts - IN: "
                          "%d, OUT: %d | Last counts - IN: %d, OUT: %d\n",
              look.current_in, look.current_out, look.last_in, look.last_out);
  if (look.result == LOOK_CHANGED) {
    console_log("Kestrune: [CHANGE DETECTED] MIDI device count changed - IN: %d->%d, OUT: %d->%d\n",
                look.last_in, look.current_in, look.last_out, look.current_out);
  } else if (look.result == LOOK_PORT_ARRIVED) {
    console_log(
        "Kestrune: [PORT_ARRIVED] No look saw the counts move after a MIDI port arrived - "
        "resetting all the same\n");
  } else {
    return;
  }
  console_log(
      "Kestrune: [RESET_SCHEDULED] Verified MIDI device change, scheduling delayed reset\n");
}

// One step of the reset countdown, as its console lines and the host call need it.
struct ResetStep {
  int32_t remaining;
  MainOnCommandFn main_on_command;
};

// The delay lets the driver finish bringing the new port up before the host opens it.
ResetStep count_down_reset() {
  ResetStep step{};
  step.remaining = --monitor_state.reset_ticks_left;
  if (step.remaining <= 0) {
    // Cleared before any host call: a change seen inside one (the host's reset, or its console,
    // may retrieve messages) may schedule a new reset that must not be wiped out afterwards, and
    // a tick run inside one must not find this reset still due.
    monitor_state.reset_pending = false;
    monitor_state.reset_ticks_left = 0;
    step.main_on_command = host_main_on_command();
  }
  return step;
}

void run_reset(const ResetStep& step) {
  if (log_enabled() && (step.remaining % 10 == 0 || step.remaining <= 3)) {
    console_log("Kestrune: [RESET_COUNTDOWN] Reset countdown: %d ticks remaining\n",
                step.remaining);
  }
  if (step.remaining > 0) {
    return;
  }
  console_log("Kestrune: [EXECUTING_RESET] EXECUTING DELAYED RESET NOW!\n");
  if (step.main_on_command != nullptr) {
    step.main_on_command(RESET_COMMAND_ID, 0);
    // The host re-opens its devices inside the command, which may take a while: no stall.
    if (monitor_state.notify_window != nullptr) {
      monitor_state.last_tick_ms = read_clock_ms();
    }
    console_log("Kestrune: [RESET_COMPLETE] Windows delayed reset completed\n");
  } else {
    console_log("Kestrune: [ERROR] Main_OnCommand not available!\n");
  }
}

// A look that sees no change never holds a reset back, so both count down in one tick, the look
// first: a look that schedules the reset restarts it, which then does not also step, so the
// devices are re-opened once, after the latest change. Both settle before either writes a line.
void count_down_look_and_reset() {
  Look look{};
  bool looking = monitor_state.look_pending;
  if (looking) {
    look = take_look();
  }
  bool resetting = monitor_state.reset_pending && look.result != LOOK_CHANGED &&
                   look.result != LOOK_PORT_ARRIVED;
  ResetStep reset{};
  if (resetting) {
    reset = count_down_reset();
  }
  if (looking) {
    report_look(look);
  }
  if (resetting) {
    run_reset(reset);
  }
}

}  // namespace

// Settling runs alone, and a reset waits while a verification that may restart it is still
// pending; the looks and the reset count down together. A stall found in a tick whose drain took
// an event needs nothing more: that event's own verification, or its immediate check, covers it.
void on_timer_tick() {
  uint32_t accepted_before = monitor_state.events_accepted;
  // Read once: a procedure that unloads the plug-in must not leave the drain on no window.
  HWND window = monitor_state.notify_window;
  if (window != nullptr) {
    drain_notification_window(window);
  }
  if (found_a_stall() && monitor_state.events_accepted == accepted_before) {
    on_stall();
  }
  if (monitor_state.init_ticks_left > 0) {
    count_down_settle();
  } else if (monitor_state.check_pending) {
    report_verification(verify());
  } else if (monitor_state.look_pending || monitor_state.reset_pending) {
    count_down_look_and_reset();
  }
}
