#include "monitor/device_change.h"

#include <cstdint>

#include "monitor/console_log.h"
#include "monitor/monitor_platform.h"
#include "monitor/monitor_state.h"

namespace {

// What one event did, kept so that its console lines can be written once the state is settled:
// a host's console may run a tick, or unload the plug-in, while it shows a line.
enum Outcome {
  DROPPED_WHILE_SETTLING,
  DROPPED_OTHER_EVENT,
  DROPPED_INVALID_HEADER,
  DROPPED_NOT_AUDIO,
  DROPPED_CHECK_PENDING,
  RESET_AT_ONCE,
  CHECK_SCHEDULED,
};

struct Decision {
  Outcome outcome;
  int32_t settle_ticks_left;
  bool arrival;
  bool midi_port;
  bool immediate_check;
  int32_t current_in;
  int32_t current_out;
  int32_t last_in;
  int32_t last_out;
};

// Only with diagnostics on: the counts often have not moved yet when the notification comes,
// so this is an early look, and the delayed verification remains the rule.
bool immediate_check_schedules_reset(Decision* decision) {
  decision->immediate_check = true;
  MidiCounts current = read_midi_counts();
  decision->current_in = current.inputs;
  decision->current_out = current.outputs;
  decision->last_in = monitor_state.last_in_count;
  decision->last_out = monitor_state.last_out_count;
  if (decision->current_in == decision->last_in && decision->current_out == decision->last_out) {
    return false;
  }
  monitor_state.last_in_count = decision->current_in;
  monitor_state.last_out_count = decision->current_out;
  schedule_reset();
  return true;
}

// What a notice, a resume or a stall that gets this far asks for: a verification of its own,
// which takes over from the looks of the last one, or, when the diagnostic build's immediate
// check already sees the counts moved, the reset at once.
void accept(Decision* decision) {
  ++monitor_state.events_accepted;
  end_looks();
  if (log_enabled() && immediate_check_schedules_reset(decision)) {
    decision->outcome = RESET_AT_ONCE;
    return;
  }
  // A pending reset pauses while this verification runs, and resumes or restarts after it.
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = CHECK_DELAY_TICKS;
  decision->outcome = CHECK_SCHEDULED;
}

Decision decide(DeviceChangeEvent event) {
  Decision decision{};
  // Not queued for later: the baseline taken when settling ends already includes the device.
  if (monitor_state.init_ticks_left >= 1) {
    decision.outcome = DROPPED_WHILE_SETTLING;
    decision.settle_ticks_left = monitor_state.init_ticks_left;
    return decision;
  }
  decision.arrival = event.event_code == DBT_DEVICEARRIVAL;
  if (!decision.arrival && event.event_code != DBT_DEVICEREMOVECOMPLETE) {
    // Other event types carry other kinds of parameter, or none: the header is not touched.
    decision.outcome = DROPPED_OTHER_EVENT;
    return decision;
  }
  HeaderClass announced = header_class(event.header);
  if (announced == HEADER_INVALID) {
    decision.outcome = DROPPED_INVALID_HEADER;
    return decision;
  }
  if (announced == HEADER_OTHER_CLASS) {
    decision.outcome = DROPPED_NOT_AUDIO;
    return decision;
  }
  decision.midi_port = announced == HEADER_MIDI_PORT_CLASS;
  // Recorded even when the event is dropped below: the verification already waiting must know.
  if (decision.midi_port) {
    (decision.arrival ? monitor_state.port_arrived : monitor_state.port_removed) = true;
  }
  // One insertion announces several interfaces; the first schedules the one verification.
  if (monitor_state.check_pending) {
    decision.outcome = DROPPED_CHECK_PENDING;
    return decision;
  }
  accept(&decision);
  return decision;
}

// The lines of an event that got as far as the pending verification.
void report_acceptance(const Decision& decision) {
  if (decision.outcome == DROPPED_CHECK_PENDING) {
    console_log(
        "Kestrune: [DEVICE_CHECK_PENDING] Device verification already scheduled, ignoring "
        "additional notifications\n");
    return;
  }
  if (decision.immediate_check) {
    console_log(
        "Kestrune: [IMMEDIATE_CHECK] Immediate check - IN: %d, OUT: %d | Last - IN: %d, OUT: %d\n",
        decision.current_in, decision.current_out, decision.last_in, decision.last_out);
    if (decision.outcome == RESET_AT_ONCE) {
      console_log(
          "Kestrune: [IMMEDIATE_SUCCESS] Immediate check detected change - proceeding with "
          "immediate reset!\n");
      console_log(
          "Kestrune: [IMMEDIATE_RESET_SCHEDULED] Immediate reset scheduled - no device "
          "verification delay needed\n");
      return;
    }
    console_log(
        "Kestrune: [IMMEDIATE_FAILED] Immediate check detected NO change - will try short delayed "
        "check\n");
  }
  console_log(
      "Kestrune: [DEVICE_CHECK_SCHEDULED] Immediate check failed, scheduling fallback verification "
      "in %d ticks (~0.5 seconds)\n",
      CHECK_DELAY_TICKS);
}

void report(DeviceChangeEvent event, const Decision& decision) {
  if (!log_enabled()) {
    return;
  }
  console_log("Kestrune: [DEVICE_CHANGE] Received WM_DEVICECHANGE message, wParam=0x%X\n",
              static_cast<uint32_t>(event.event_code));
  if (decision.outcome == DROPPED_WHILE_SETTLING) {
    console_log(
        "Kestrune: [DEVICE_CHANGE] Device change during initialization (%d ticks remaining) - "
        "ignoring\n",
        decision.settle_ticks_left);
    return;
  }
  if (decision.outcome == DROPPED_OTHER_EVENT) {
    console_log("Kestrune: [OTHER_MESSAGE] Ignoring device change message type 0x%X\n",
                static_cast<uint32_t>(event.event_code));
    return;
  }
  console_log("Kestrune: [DEVICE_CHANGE] Processing device %s\n",
              decision.arrival ? "ARRIVAL" : "REMOVAL");
  if (decision.outcome == DROPPED_INVALID_HEADER) {
    console_log("Kestrune: [INVALID_HDR] Invalid device broadcast header, ignoring\n");
    return;
  }
  if (decision.outcome == DROPPED_NOT_AUDIO) {
    console_log("Kestrune: [NON_AUDIO] Non-audio device change, ignoring\n");
    return;
  }
  if (decision.midi_port) {
    console_log(decision.arrival
                    ? "Kestrune: [MIDI_PORT] MIDI port ADDED detected via Windows API\n"
                    : "Kestrune: [MIDI_PORT] MIDI port REMOVED detected via Windows "
                      "API\n");
  } else {
    console_log(decision.arrival
                    ? "Kestrune: [AUDIO_DEVICE] Audio device ADDED detected via Windows API\n"
                    : "Kestrune: [AUDIO_DEVICE] Audio device REMOVED detected via Windows API\n");
  }
  report_acceptance(decision);
}

}  // namespace

// The state is settled first and the console lines written after: whatever a host does while it
// shows a line (a tick, an unload) then meets the state this event leaves, not one half made.
void on_device_change(DeviceChangeEvent event) {
  Decision decision = decide(event);
  report(event, decision);
}

// Handles the host had open may have died in the sleep with no notice at all; only a reset
// re-opens them. Other power events say nothing about the devices.
void on_power_broadcast(WPARAM event) {
  if (event != PBT_APMRESUMEAUTOMATIC) {
    return;
  }
  Decision decision{};
  int32_t settle_ticks_left = monitor_state.init_ticks_left;
  if (settle_ticks_left >= 1) {
    console_log(
        "Kestrune: [RESUME] Resumed from sleep during initialization (%d ticks remaining) - "
        "ignoring\n",
        settle_ticks_left);
    return;
  }
  monitor_state.resumed = true;
  if (monitor_state.check_pending) {
    decision.outcome = DROPPED_CHECK_PENDING;
  } else {
    accept(&decision);
  }
  if (log_enabled()) {
    console_log(
        "Kestrune: [RESUME] Resumed from sleep - the MIDI handles may be dead, the next "
        "verification resets\n");
    report_acceptance(decision);
  }
}

// A notice the system gave up delivering while the host's thread was busy is gone for good, so
// the counts are verified as if one had come. While the monitor settles, or a verification is
// pending anyway, there is nothing to add.
void on_stall() {
  if (monitor_state.init_ticks_left > 0 || monitor_state.check_pending) {
    return;
  }
  Decision decision{};
  accept(&decision);
  if (log_enabled()) {
    console_log(
        "Kestrune: [STALL] The host's thread retrieved no message for a second or more - a "
        "device notice may have been lost\n");
    report_acceptance(decision);
  }
}
