// Sends one WM_DEVICECHANGE arrival of an audio-class interface to the plug-in's window in the
// process given by its id, from a process of its own, as the system does. Exits 0 once the
// message was delivered, 2 when there is no window to send to, 3 when the message could not be
// delivered. With "storm" after the id, it sends the hostile headers of hostile_headers.h instead;
// with "quit", it posts WM_QUIT with code 9 to the window, as any process may, and exits 0 once
// it is posted.
#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <cstdlib>
#include <cstring>

#include "tests/windows/device_messages.h"
#include "tests/windows/hostile_headers.h"

int main(int argc, char** argv) {
  bool storm = argc == 3 && std::strcmp(argv[2], "storm") == 0;
  bool quit = argc == 3 && std::strcmp(argv[2], "quit") == 0;
  if (argc != 2 && !storm && !quit) {
    return 1;
  }
  HWND window = plugin_window_of(static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)));
  if (window == nullptr) {
    return 2;
  }
  if (storm) {
    return send_hostile_storm(window) ? 0 : 3;
  }
  if (quit) {
    return PostMessageW(window, WM_QUIT, 9, 0) ? 0 : 3;
  }
  std::vector<unsigned char> header = interface_header(KSCATEGORY_AUDIO);
  DWORD_PTR result = 0;
  // Blocks until the host's thread retrieves messages; the timeout only keeps a test that never
  // does from leaving this process behind.
  LRESULT sent =
      SendMessageTimeoutW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                          reinterpret_cast<LPARAM>(header.data()), SMTO_BLOCK, 60000, &result);
  return sent != 0 ? 0 : 3;
}
