// What one device-change notification from the system means for the reset monitor.
#pragma once

#include "platform/win32.h"

// One WM_DEVICECHANGE as the window procedure hands it on. The header is whatever the sender
// put in the message's second parameter: it is not read until the event is known to be an
// arrival or removal, and then only as far as its own size says it reaches.
struct DeviceChangeEvent {
  WPARAM event_code;
  const DEV_BROADCAST_HDR* header;
};

// The audio interface classes a MIDI device may announce itself under. The window registers
// for the first only; the other two are accepted when a sender reports them anyway.
extern const GUID KSCATEGORY_AUDIO;
extern const GUID KSCATEGORY_RENDER;
extern const GUID KSCATEGORY_CAPTURE;

// The interfaces of single MIDI ports. The system publishes them once a port exists, which on
// today's MIDI stack is well after the device's audio-class interface. Named apart from the
// platform's own macros for the same classes, which some headers define.
extern const GUID MIDI_INPUT_PORT_INTERFACE;
extern const GUID MIDI_OUTPUT_PORT_INTERFACE;

// What an arrival's or removal's header announces, as far as the monitor cares.
enum HeaderClass { HEADER_INVALID, HEADER_OTHER_CLASS, HEADER_AUDIO_CLASS, HEADER_MIDI_PORT_CLASS };

// HEADER_INVALID for null, for another device type, and for a header too short to hold a class.
// Reads no byte beyond the header's own dbch_size.
HeaderClass header_class(const DEV_BROADCAST_HDR* header);

void on_device_change(DeviceChangeEvent event);
