// A device-interface header as the system sends it to a window for an arrival or removal: the
// fixed fields, followed by the interface's symbolic link. The one place a well-formed header is
// put together, in either world; builders of malformed ones share only the offsets below.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Where the fields of DEV_BROADCAST_DEVICEINTERFACE lie, the same for its A and W forms.
enum NoticeOffset : size_t {
  NOTICE_SIZE_OFFSET = 0,
  NOTICE_TYPE_OFFSET = 4,
  NOTICE_CLASS_OFFSET = 12,
  NOTICE_NAME_OFFSET = 28,
};

// Room for the fixed fields and a symbolic link of some length: the simulated platform copies at
// most 128 bytes of a header, and Wine exactly dbch_size, so both worlds see the same bytes.
constexpr size_t DEVICE_NOTICE_CAPACITY = 96;

struct DeviceNotice {
  alignas(8) unsigned char bytes[DEVICE_NOTICE_CAPACITY];
  size_t size;
};

// dbch_size covers the link and its terminator, as the system reports it; too long a link is cut.
DeviceNotice interface_notice(const GUID& interface_class, const char* symbolic_link);

// The same with the link in wide characters, as the system sends it to a Unicode window.
DeviceNotice wide_interface_notice(const GUID& interface_class, const wchar_t* symbolic_link);

// A header that claims the device-interface type but is cut after its first three fields: the
// class GUID lies beyond what the sender sent, so a receiver must not read it.
DeviceNotice short_interface_notice();

// Changes one 32-bit field of a notice, for a malformed variant of a well-formed one.
void put_notice_field(DeviceNotice* notice, size_t offset, DWORD value);
