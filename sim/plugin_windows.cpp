#include "sim/plugin_windows.h"

namespace {

// A scan that has lost its place gives up after this many fresh starts; each needs another
// process to destroy a window between two steps of the scan.
constexpr int MAX_SCANS = 1000;

}  // namespace

// FindWindowExW continues after a given window, and finds nothing when that window has just been
// destroyed by its process: then the scan ended early, not at the end of the list, and starts
// over.
int plugin_windows_of(DWORD process_id, HWND* first) {
  for (int scan = 0; scan < MAX_SCANS; ++scan) {
    int count = 0;
    HWND own_first = nullptr;
    HWND window = nullptr;
    HWND next;
    while ((next = FindWindowExW(HWND_MESSAGE, window, L"KestruneWindow", nullptr)) != nullptr) {
      window = next;
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == process_id) {
        own_first = own_first != nullptr ? own_first : window;
        ++count;
      }
    }
    if (window == nullptr || IsWindow(window)) {
      if (first != nullptr) {
        *first = own_first;
      }
      return count;
    }
  }
  if (first != nullptr) {
    *first = nullptr;
  }
  return 0;
}
