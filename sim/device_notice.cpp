#include "sim/device_notice.h"

#include <cstring>
#include <cwchar>

static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_size) == NOTICE_SIZE_OFFSET &&
                  offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_devicetype) ==
                      NOTICE_TYPE_OFFSET &&
                  offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid) ==
                      NOTICE_CLASS_OFFSET &&
                  offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) == NOTICE_NAME_OFFSET,
              "device-interface header layout");

namespace {

DeviceNotice fixed_fields(const GUID& interface_class, size_t size) {
  DeviceNotice notice{};
  notice.size = size;
  put_notice_field(&notice, NOTICE_SIZE_OFFSET, static_cast<DWORD>(size));
  put_notice_field(&notice, NOTICE_TYPE_OFFSET, DBT_DEVTYP_DEVICEINTERFACE);
  std::memcpy(notice.bytes + NOTICE_CLASS_OFFSET, &interface_class, sizeof(GUID));
  return notice;
}

}  // namespace

void put_notice_field(DeviceNotice* notice, size_t offset, DWORD value) {
  std::memcpy(notice->bytes + offset, &value, sizeof value);
}

DeviceNotice interface_notice(const GUID& interface_class, const char* symbolic_link) {
  size_t room = DEVICE_NOTICE_CAPACITY - NOTICE_NAME_OFFSET - 1;
  size_t length = std::strlen(symbolic_link);
  length = length < room ? length : room;
  DeviceNotice notice = fixed_fields(interface_class, NOTICE_NAME_OFFSET + length + 1);
  std::memcpy(notice.bytes + NOTICE_NAME_OFFSET, symbolic_link, length);
  return notice;
}

DeviceNotice wide_interface_notice(const GUID& interface_class, const wchar_t* symbolic_link) {
  size_t room = (DEVICE_NOTICE_CAPACITY - NOTICE_NAME_OFFSET) / sizeof(wchar_t) - 1;
  size_t length = std::wcslen(symbolic_link);
  length = length < room ? length : room;
  DeviceNotice notice =
      fixed_fields(interface_class, NOTICE_NAME_OFFSET + (length + 1) * sizeof(wchar_t));
  std::memcpy(notice.bytes + NOTICE_NAME_OFFSET, symbolic_link, length * sizeof(wchar_t));
  return notice;
}

DeviceNotice short_interface_notice() {
  DeviceNotice notice{};
  notice.size = sizeof(DEV_BROADCAST_HDR);
  put_notice_field(&notice, NOTICE_SIZE_OFFSET, static_cast<DWORD>(notice.size));
  put_notice_field(&notice, NOTICE_TYPE_OFFSET, DBT_DEVTYP_DEVICEINTERFACE);
  return notice;
}
