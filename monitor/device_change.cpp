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

bool is_audio_class(const DEV_BROADCAST_HDR* header) {
  GUID interface_class;
  std::memcpy(&interface_class,
              reinterpret_cast<const unsigned char*>(header) +
                  offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid),
              sizeof interface_class);
  const GUID* const audio_classes[] = {&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER, &KSCATEGORY_CAPTURE};
  for (const GUID* audio_class : audio_classes) {
    if (std::memcmp(&interface_class, audio_class, sizeof interface_class) == 0) {
      return true;
    }
  }
  return false;
}

// Only with diagnostics on: the counts often have not moved yet when the notification comes,
// so this is an early look, and the delayed verification remains the rule.
bool immediate_check_scheduled_reset() {
  int32_t current_in = static_cast<int32_t>(midiInGetNumDevs());
  int32_t current_out = static_cast<int32_t>(midiOutGetNumDevs());
  console_log(
      "Kestrune: [IMMEDIATE_CHECK] Immediate check - IN: %d, OUT: %d | Last - IN: %d, OUT: %d\n",
      current_in, current_out, monitor_state.last_in_count, monitor_state.last_out_count);
  if (current_in == monitor_state.last_in_count && current_out == monitor_state.last_out_count) {
    console_log(
        "Kestrune: [IMMEDIATE_FAILED] Immediate check detected NO change - will try short delayed "
        "check\n");
    return false;
  }
  console_log(
      "Kestrune: [IMMEDIATE_SUCCESS] Immediate check detected change - proceeding with immediate "
      "reset!\n");
  monitor_state.last_in_count = current_in;
  monitor_state.last_out_count = current_out;
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = RESET_DELAY_TICKS;
  console_log(
      "Kestrune: [IMMEDIATE_RESET_SCHEDULED] Immediate reset scheduled - no device verification "
      "delay needed\n");
  return true;
}

}  // namespace

void on_device_change(DeviceChangeEvent event) {
  console_log("Kestrune: [DEVICE_CHANGE] Received WM_DEVICECHANGE message, wParam=0x%X\n",
              static_cast<uint32_t>(event.event_code));
  // Not queued for later: the baseline taken when settling ends already includes the device.
  if (monitor_state.init_ticks_left >= 1) {
    console_log(
        "Kestrune: [DEVICE_CHANGE] Device change during initialization (%d ticks remaining) - "
        "ignoring\n",
        monitor_state.init_ticks_left);
    return;
  }
  bool arrival = event.event_code == DBT_DEVICEARRIVAL;
  if (!arrival && event.event_code != DBT_DEVICEREMOVECOMPLETE) {
    // Other event types carry other kinds of parameter, or none: the header is not touched.
    console_log("Kestrune: [OTHER_MESSAGE] Ignoring device change message type 0x%X\n",
                static_cast<uint32_t>(event.event_code));
    return;
  }
  console_log("Kestrune: [DEVICE_CHANGE] Processing device %s\n", arrival ? "ARRIVAL" : "REMOVAL");
  if (!is_device_interface_header(event.header)) {
    console_log("Kestrune: [INVALID_HDR] Invalid device broadcast header, ignoring\n");
    return;
  }
  if (!is_audio_class(event.header)) {
    console_log("Kestrune: [NON_AUDIO] Non-audio device change, ignoring\n");
    return;
  }
  console_log(arrival ? "Kestrune: [AUDIO_DEVICE] Audio device ADDED detected via Windows API\n"
                      : "Kestrune: [AUDIO_DEVICE] Audio device REMOVED detected via Windows API\n");
  // One insertion announces several interfaces; the first schedules the one verification.
  if (monitor_state.check_pending) {
    console_log(
        "Kestrune: [DEVICE_CHECK_PENDING] Device verification already scheduled, ignoring "
        "additional notifications\n");
    return;
  }
  if (log_enabled() && immediate_check_scheduled_reset()) {
    return;
  }
  // A pending reset pauses while this verification runs, and resumes or restarts after it.
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = CHECK_DELAY_TICKS;
  console_log(
      "Kestrune: [DEVICE_CHECK_SCHEDULED] Immediate check failed, scheduling fallback verification "
      "in %d ticks (~0.5 seconds)\n",
      CHECK_DELAY_TICKS);
}
