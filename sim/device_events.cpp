#include "sim/device_events.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct ClassEntry {
  const char* name;
  GUID guid;
};

// Written out here rather than taken from the plug-in: a sender that shared the plug-in's own
// constants would hide a wrong digit in them.
const ClassEntry CLASSES[DEVICE_CLASS_COUNT] = {
    {"audio", {0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}}},
    {"render", {0x65E8773E, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}}},
    {"capture", {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}}},
    {"midi-in", {0x504BE32C, 0xCCF6, 0x4D2C, {0xB7, 0x3F, 0x6F, 0x8B, 0x37, 0x47, 0xE2, 0x2B}}},
    {"midi-out", {0x6DC23320, 0xAB33, 0x4CE4, {0x80, 0xD4, 0xBB, 0xB3, 0xEB, 0xBF, 0x28, 0x14}}},
    {"other", {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}}},
};

// Field offsets of DEV_BROADCAST_DEVICEINTERFACE_A. The notice is assembled byte by byte so that
// it is the same in the simulated world and against the real headers.
constexpr size_t SIZE_OFFSET = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_size);
constexpr size_t TYPE_OFFSET = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_devicetype);
constexpr size_t CLASS_OFFSET = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid);
constexpr size_t NAME_OFFSET = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
static_assert(NAME_OFFSET == 28, "device-interface header layout");

void put_dword(DeviceNotice* notice, size_t offset, DWORD value) {
  std::memcpy(notice->bytes + offset, &value, sizeof value);
}

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
  return CLASSES[device_class].guid;
}

DeviceNotice interface_notice(DeviceClass device_class, bool input_port, unsigned serial) {
  DeviceNotice notice{};
  int length = std::snprintf(reinterpret_cast<char*>(notice.bytes + NAME_OFFSET),
                             DEVICE_NOTICE_CAPACITY - NAME_OFFSET, "\\\\?\\VSIM#MIDI_%s#%u",
                             input_port ? "IN" : "OUT", serial);
  // The size covers the name and its terminator, as the system reports it.
  notice.size = NAME_OFFSET + static_cast<size_t>(length) + 1;
  put_dword(&notice, SIZE_OFFSET, static_cast<DWORD>(notice.size));
  put_dword(&notice, TYPE_OFFSET, DBT_DEVTYP_DEVICEINTERFACE);
  std::memcpy(notice.bytes + CLASS_OFFSET, &device_class_guid(device_class), sizeof(GUID));
  return notice;
}

DeviceNotice short_interface_notice() {
  DeviceNotice notice{};
  notice.size = sizeof(DEV_BROADCAST_HDR);
  put_dword(&notice, SIZE_OFFSET, static_cast<DWORD>(notice.size));
  put_dword(&notice, TYPE_OFFSET, DBT_DEVTYP_DEVICEINTERFACE);
  return notice;
}
