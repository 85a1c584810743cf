// The device-interface classes the plug-in acts on, and what a notification's header announces.
// Shared with anything that must see notifications exactly as the plug-in sees them.
#pragma once

#include "platform/win32.h"

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
