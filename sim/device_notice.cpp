#include "sim/device_notice.h"

#include <algorithm>
#include <cstring>
#include <string>

using InterfaceHeader = DEV_BROADCAST_DEVICEINTERFACE_A;
static_assert(offsetof(InterfaceHeader, dbcc_size) == NOTICE_SIZE_OFFSET &&
                  offsetof(InterfaceHeader, dbcc_devicetype) == NOTICE_TYPE_OFFSET &&
                  offsetof(InterfaceHeader, dbcc_classguid) == NOTICE_CLASS_OFFSET &&
                  offsetof(InterfaceHeader, dbcc_name) == NOTICE_NAME_OFFSET,
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

// The fixed fields and as much of the link as fits, with its terminator.
template <typename Char>
DeviceNotice with_link(const GUID& interface_class, const Char* symbolic_link) {
  size_t room = (DEVICE_NOTICE_CAPACITY - NOTICE_NAME_OFFSET) / sizeof(Char) - 1;
  size_t length = std::min(std::char_traits<Char>::length(symbolic_link), room);
  DeviceNotice notice =
      fixed_fields(interface_class, NOTICE_NAME_OFFSET + (length + 1) * sizeof(Char));
  std::memcpy(notice.bytes + NOTICE_NAME_OFFSET, symbolic_link, length * sizeof(Char));
  return notice;
}

}  // namespace

void put_notice_field(DeviceNotice* notice, size_t offset, DWORD value) {
  std::memcpy(notice->bytes + offset, &value, sizeof value);
}

DeviceNotice interface_notice(const GUID& interface_class, const char* symbolic_link) {
  return with_link(interface_class, symbolic_link);
}

DeviceNotice wide_interface_notice(const GUID& interface_class, const wchar_t* symbolic_link) {
  return with_link(interface_class, symbolic_link);
}

// The class field is left as zeros, beyond the size the header claims.
DeviceNotice short_interface_notice() {
  return fixed_fields(GUID{}, sizeof(DEV_BROADCAST_HDR));
}
