// Sends one WM_DEVICECHANGE arrival of an audio-class interface to the plug-in's window in the
// process given by its id, from a process of its own, as the system does. Exits 0 once it was
// delivered, 1 on bad arguments, 2 when there is no window to send to, 3 when it could not be
// delivered. With "storm" after the id, it sends the hostile storm (sim/notice_headers.h) instead,
// each header after its index (WM_APP), and exits 0 once every index was delivered; with "quit", it
// posts WM_QUIT with code 9 to the window, as any process may. With "host", it is another host
// process: it loads its own copy of the plug-in and keeps it until it is ended.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/notice_headers.h"
#include "sim/notice_sender.h"
#include "sim/plugin_module.h"
#include "sim/plugin_windows.h"

namespace {

// Each send blocks until the host's thread retrieves messages; the timeout only keeps a receiver
// that never does from leaving this process behind.
bool delivered(HWND window, UINT message, WPARAM first, const void* second) {
  return send_waiting(window, message, first, second, SMTO_BLOCK, 60000);
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc == 3 ? argv[2] : "";
  if (std::strcmp(mode, "host") == 0) {
    std::string error;
    bool loaded = world_load_fresh(PLAIN_DLL, &error);
    Sleep(loaded ? SENDER_PROCESS_TIMEOUT_MS : 0);
    return loaded ? 0 : 3;
  }
  bool storm = std::strcmp(mode, "storm") == 0;
  bool quit = std::strcmp(mode, "quit") == 0;
  if (argc != 2 && !storm && !quit) {
    return 1;
  }
  HWND window = nullptr;
  if (plugin_windows_of(static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)), &window) == 0) {
    return 2;
  }
  if (quit) {
    return PostMessageW(window, WM_QUIT, 9, 0) ? 0 : 3;
  }
  if (!storm) {
    std::vector<unsigned char> header = interface_header(KSCATEGORY_AUDIO);
    return delivered(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, header.data()) ? 0 : 3;
  }
  // Any header of the storm may be refused on the way, its index never.
  std::vector<HostileMessage> messages = hostile_storm();
  for (size_t i = 0; i < messages.size(); ++i) {
    if (!delivered(window, WM_APP, i, nullptr)) {
      return 3;
    }
    delivered(window, WM_DEVICECHANGE, messages[i].event,
              messages[i].null_header ? nullptr : messages[i].buffer.data());
  }
  return 0;
}
