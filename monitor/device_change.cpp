#include "monitor/device_change.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "monitor/console_log.h"
#include "monitor/monitor_state.h"

const GUID KSCATEGORY_AUDIO = {
    0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
const GUID KSCATEGORY_RENDER = {
    0x65E8773E, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
const GUID KSCATEGORY_CAPTURE = {
    0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
const GUID MIDI_INPUT_PORT_INTERFACE = {
    0x504BE32C, 0xCCF6, 0x4D2C, {0xB7, 0x3F, 0x6F, 0x8B, 0x37, 0x47, 0xE2, 0x2B}};
const GUID MIDI_OUTPUT_PORT_INTERFACE = {
    0x6DC23320, 0xAB33, 0x4CE4, {0x80, 0xD4, 0xBB, 0xB3, 0xEB, 0xBF, 0x28, 0x14}};

namespace {

// The three 32-bit header fields and the class GUID: everything the class test reads.
constexpr DWORD INTERFACE_HEADER_MIN_SIZE =
    offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid) + sizeof(GUID);
static_assert(INTERFACE_HEADER_MIN_SIZE == 28, "device-interface header layout");

// Fields are copied out rather than read in place: a sender in this process may hand over a
// header at any address.
DWORD header_field(const DEV_BROADCAST_HDR* header, size_t offset) {
  DWORD value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(header) + offset, sizeof value);
  return value;
}

// Any process may send WM_DEVICECHANGE, with a header of any size; the system copies exactly
// dbch_size bytes of it into this process. So the size is checked before anything past it is
// read.
bool is_device_interface_header(const DEV_BROADCAST_HDR* header) {
  return header != nullptr &&
         header_field(header, offsetof(DEV_BROADCAST_HDR, dbch_size)) >=
             INTERFACE_HEADER_MIN_SIZE &&
         header_field(header, offsetof(DEV_BROADCAST_HDR, dbch_devicetype)) ==
             DBT_DEVTYP_DEVICEINTERFACE;
}

bool is_one_of(const GUID& interface_class, const GUID* const* classes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (std::memcmp(&interface_class, classes[i], sizeof interface_class) == 0) {
      return true;
    }
  }
  return false;
}

// What one notification did, kept so that its console lines can be written once the state is
// settled: a host's console may run a tick, or unload the plug-in, while it shows a line.
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
  decision->current_in = static_cast<int32_t>(midiInGetNumDevs());
  decision->current_out = static_cast<int32_t>(midiOutGetNumDevs());
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
  if (decision.midi_port && !decision.arrival) {
    monitor_state.port_removed = true;
  }
  // One insertion announces several interfaces; the first schedules the one verification.
  if (monitor_state.check_pending) {
    decision.outcome = DROPPED_CHECK_PENDING;
    return decision;
  }
  if (log_enabled() && immediate_check_schedules_reset(&decision)) {
    decision.outcome = RESET_AT_ONCE;
    return decision;
  }
  // A pending reset pauses while this verification runs, and resumes or restarts after it.
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = CHECK_DELAY_TICKS;
  decision.outcome = CHECK_SCHEDULED;
  return decision;
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

}  // namespace

HeaderClass header_class(const DEV_BROADCAST_HDR* header) {
  if (!is_device_interface_header(header)) {
    return HEADER_INVALID;
  }
  GUID interface_class;
  std::memcpy(&interface_class,
              reinterpret_cast<const unsigned char*>(header) +
                  offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid),
              sizeof interface_class);
  const GUID* const audio_classes[] = {&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER, &KSCATEGORY_CAPTURE};
  const GUID* const port_classes[] = {&MIDI_INPUT_PORT_INTERFACE, &MIDI_OUTPUT_PORT_INTERFACE};
  if (is_one_of(interface_class, audio_classes, 3)) {
    return HEADER_AUDIO_CLASS;
  }
  return is_one_of(interface_class, port_classes, 2) ? HEADER_MIDI_PORT_CLASS : HEADER_OTHER_CLASS;
}

// The state is settled first and the console lines written after: whatever a host does while it
// shows a line (a tick, an unload) then meets the state this event leaves, not one half made.
void on_device_change(DeviceChangeEvent event) {
  Decision decision = decide(event);
  report(event, decision);
}
