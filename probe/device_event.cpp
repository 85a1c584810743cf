#include "probe/device_event.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "probe/probe_output.h"

namespace {

struct KnownClass {
  const GUID* guid;
  const char* name;
};

// The plug-in's own constants, so that the probe names a class exactly when the plug-in knows it.
const KnownClass KNOWN_CLASSES[] = {
    {&KSCATEGORY_AUDIO, "audio"},
    {&KSCATEGORY_RENDER, "audio render"},
    {&KSCATEGORY_CAPTURE, "audio capture"},
    {&MIDI_INPUT_PORT_INTERFACE, "MIDI input port"},
    {&MIDI_OUTPUT_PORT_INTERFACE, "MIDI output port"},
};

// The window and its registrations are Unicode, so the system sends the wide header. The name
// may fill the header without a terminating null; it is read up to dbch_size and no further.
void read_interface(const DEV_BROADCAST_HDR* header, DeviceEvent* event) {
  DWORD size;
  std::memcpy(&size, header, sizeof size);
  GUID guid;
  const auto* bytes = reinterpret_cast<const unsigned char*>(header);
  std::memcpy(&guid, bytes + offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid),
              sizeof guid);
  name_class(guid, event->class_name, sizeof event->class_name);
  constexpr size_t NAME_OFFSET = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  if (size <= NAME_OFFSET) {
    return;
  }
  wchar_t name[256];
  size_t chars = (size - NAME_OFFSET) / sizeof(wchar_t);
  chars = chars < 256 ? chars : 256;
  std::memcpy(name, bytes + NAME_OFFSET, chars * sizeof(wchar_t));
  utf8_of(name, chars, event->path, sizeof event->path);
}

}  // namespace

void name_class(const GUID& guid, char* out, size_t out_size) {
  for (const KnownClass& known : KNOWN_CLASSES) {
    if (std::memcmp(&guid, known.guid, sizeof guid) == 0) {
      (void)std::snprintf(out, out_size, "%s", known.name);
      return;
    }
  }
  (void)std::snprintf(out, out_size, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                      guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                      guid.Data4[6], guid.Data4[7]);
}

void describe_device_event(WPARAM code, LPARAM parameter, DeviceEvent* event) {
  *event = DeviceEvent{};
  event->arrival = code == DBT_DEVICEARRIVAL;
  event->removal = code == DBT_DEVICEREMOVECOMPLETE;
  (void)std::snprintf(event->event_code, sizeof event->event_code, "event 0x%04X",
                      static_cast<unsigned>(code));
  event->event_name = event->arrival ? "arrival" : event->removal ? "removal" : event->event_code;
  (void)std::snprintf(event->class_name, sizeof event->class_name, "-");
  event->header = HEADER_INVALID;
  event->outcome = "ignored: neither arrival nor removal";
  if (!event->arrival && !event->removal) {
    return;
  }
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(parameter);
  event->header = header_class(header);
  if (event->header == HEADER_INVALID) {
    (void)std::snprintf(event->class_name, sizeof event->class_name, "-");
    event->outcome = "ignored: not a device-interface header";
    return;
  }
  read_interface(header, event);
  event->accepted = event->header == HEADER_AUDIO_CLASS || event->header == HEADER_MIDI_PORT_CLASS;
  event->outcome = event->accepted ? "accepted by class" : "ignored: another class";
}
