// The device classes a scenario may name, by word, with their interface class GUIDs.
#pragma once

#include "platform/win32.h"
#include "sim/device_notice.h"

// The first five are the plug-in's own (monitor/interface_class.h): the audio classes and the
// MIDI port classes. "other" stands for any device that is not audio.
enum DeviceClass {
  DEVICE_CLASS_AUDIO,
  DEVICE_CLASS_RENDER,
  DEVICE_CLASS_CAPTURE,
  DEVICE_CLASS_MIDI_IN,
  DEVICE_CLASS_MIDI_OUT,
  DEVICE_CLASS_OTHER
};
constexpr int DEVICE_CLASS_COUNT = 6;

// The scenario word for a class, and back; false for an unknown word.
const char* device_class_name(DeviceClass device_class);
bool device_class_from_name(const char* name, DeviceClass* device_class);

const GUID& device_class_guid(DeviceClass device_class);
// Not a class the plug-in acts on: the interface class of USB devices in general.
extern const GUID USB_DEVICE_INTERFACE;
