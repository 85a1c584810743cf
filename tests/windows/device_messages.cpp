#include "tests/windows/device_messages.h"

#include "sim/device_notice.h"
#include "sim/plugin_windows.h"

HWND plugin_window_of(DWORD process_id) {
  HWND window = nullptr;
  plugin_windows_of(process_id, &window);
  return window;
}

std::vector<unsigned char> interface_header(const GUID& interface_class) {
  DeviceNotice notice =
      wide_interface_notice(interface_class, L"\\\\?\\USB#VID_0000&PID_0000#MIDI");
  return std::vector<unsigned char>(notice.bytes, notice.bytes + notice.size);
}
