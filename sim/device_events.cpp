#include "sim/device_events.h"

#include <cstring>

#include "monitor/interface_class.h"

const GUID USB_DEVICE_INTERFACE = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

namespace {

struct ClassEntry {
  const char* name;
  const GUID* guid;
};

const ClassEntry CLASSES[DEVICE_CLASS_COUNT] = {
    {"audio", &KSCATEGORY_AUDIO},
    {"render", &KSCATEGORY_RENDER},
    {"capture", &KSCATEGORY_CAPTURE},
    {"midi-in", &MIDI_INPUT_PORT_INTERFACE},
    {"midi-out", &MIDI_OUTPUT_PORT_INTERFACE},
    {"other", &USB_DEVICE_INTERFACE},
};

}  // namespace

const char* device_class_name(DeviceClass device_class) {
  return CLASSES[device_class].name;
}

bool device_class_from_name(const char* name, DeviceClass* device_class) {
  for (int i = 0; i < DEVICE_CLASS_COUNT; ++i) {
    if (std::strcmp(CLASSES[i].name, name) == 0) {
      *device_class = static_cast<DeviceClass>(i);
      return true;
    }
  }
  return false;
}

const GUID& device_class_guid(DeviceClass device_class) {
  return *CLASSES[device_class].guid;
}
