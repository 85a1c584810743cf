// The device notifications velmar-sim sends to the plug-in's window, built as the system builds
// them: a device-interface header of a given class, followed by the interface's symbolic link.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// The interface classes a scenario may name. The first three are the audio classes; the next two
// the interfaces of single MIDI input and output ports, which the system's MIDI service publishes
// once the ports exist; "other" stands for any device that is not audio (a USB device interface).
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

// Room for the fixed fields and a short symbolic link: the simulated platform copies at most 128
// bytes of a header, and Wine exactly dbch_size, so both worlds see the same bytes.
constexpr size_t DEVICE_NOTICE_CAPACITY = 96;

struct DeviceNotice {
  alignas(8) unsigned char bytes[DEVICE_NOTICE_CAPACITY];
  size_t size;
};

// An arrival or removal of one MIDI port's interface. `serial` tells devices apart in the name.
DeviceNotice interface_notice(DeviceClass device_class, bool input_port, unsigned serial);

// A header that claims the device-interface type but is cut after its first three fields: the
// class GUID lies beyond what the sender sent, so a receiver must not read it.
DeviceNotice short_interface_notice();
