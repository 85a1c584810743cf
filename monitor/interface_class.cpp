#include "monitor/interface_class.h"

#include <cstddef>
#include <cstring>

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
