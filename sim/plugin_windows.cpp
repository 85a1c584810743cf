#include "sim/plugin_windows.h"

#include "platform/windows/window_class.h"

namespace {

// A scan that has lost its place gives up after this many fresh starts; each needs another
// process to destroy a window between two steps of the scan.
constexpr int MAX_SCANS = 1000;
// How often a scan that finds none of the process's windows is made again.
constexpr int EMPTY_SCAN_REPEATS = 3;

// FindWindowExW continues after a given window, and finds nothing when its process has just
// destroyed it: the scan then ended early and starts over. Wine also unlinks a window its process
// destroys before the handle dies, so a scan passing it meanwhile can end early, the window still
// alive, and miss every window after it while that lasts: a scan that finds none is made again.
int windows_of(const wchar_t* class_name, DWORD process_id, HWND* first) {
  int count = 0;
  HWND own_first = nullptr;
  for (int scan = 0, empty = 0; scan < MAX_SCANS && count == 0 && empty < EMPTY_SCAN_REPEATS;
       ++scan) {
    HWND window = nullptr;
    HWND next;
    while ((next = FindWindowExW(HWND_MESSAGE, window, class_name, nullptr)) != nullptr) {
      window = next;
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == process_id) {
        own_first = own_first != nullptr ? own_first : window;
        ++count;
      }
    }
    if (window != nullptr && !IsWindow(window)) {
      count = 0;
      own_first = nullptr;
    } else {
      ++empty;
    }
  }
  if (first != nullptr) {
    *first = own_first;
  }
  return count;
}

}  // namespace

HWND wait_for_window(const wchar_t* class_name, const PROCESS_INFORMATION& process) {
  for (int wait = 0; wait < 3000; ++wait) {
    HWND window = nullptr;
    if (windows_of(class_name, process.dwProcessId, &window) > 0 ||
        WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
      return window;
    }
  }
  return nullptr;
}

int plugin_windows_of(DWORD process_id, HWND* first) {
  return windows_of(WINDOW_CLASS_NAME, process_id, first);
}

HWND plugin_window() {
  HWND window = nullptr;
  plugin_windows_of(GetCurrentProcessId(), &window);
  return window;
}

bool plugin_class_registered(HINSTANCE instance) {
  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  return GetClassInfoExW(instance, WINDOW_CLASS_NAME, &info) != FALSE;
}
