#include "platform/windows/notification_window.h"

#include "monitor/console_log.h"
#include "monitor/device_change.h"
#include "monitor/monitor_state.h"

namespace {

const wchar_t WINDOW_CLASS_NAME[] = L"KestruneWindow";
const wchar_t WINDOW_TITLE[] = L"Kestrune Hidden Window";

// The class belongs to the host's executable, not to this module: the host process owns the
// main thread and its message loop, and a class keyed to a module that can be unloaded would
// outlive it.
HINSTANCE host_instance() {
  return GetModuleHandleA(nullptr);
}

// Only the audio class is asked for: MIDI class drivers publish their ports under it.
HDEVNOTIFY register_for_audio_interfaces(HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_reserved = 0;
  filter.dbcc_classguid = KSCATEGORY_AUDIO;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

// A refused load may be followed by the host freeing the module without another call, so what
// this start acquired is released here: a class left behind would keep a procedure pointing into
// unloaded code for the next load to reuse.
void release_failed_start() {
  if (monitor_state.notify_window != nullptr) {
    DestroyWindow(monitor_state.notify_window);
    monitor_state.notify_window = nullptr;
  }
  UnregisterClassW(WINDOW_CLASS_NAME, host_instance());
}

}  // namespace

// Settling starts before the window exists, so any notification that reaches it while it is
// being set up is dropped.
bool start_device_monitoring() {
  begin_settle();
  console_log(
      "Kestrune: [INIT_START] Starting delayed initialization (%d ticks) to let VELMAR MIDI system "
      "stabilize\n",
      INIT_DELAY_TICKS);

  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = notification_window_proc;
  window_class.hInstance = host_instance();
  window_class.lpszClassName = WINDOW_CLASS_NAME;
  // A class left by an earlier load in this process is the same class; it is used as it is.
  if (RegisterClassW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    console_log("Kestrune: Failed to register window class\n");
    console_log("Kestrune: [ERROR] Failed to create notification window\n");
    return false;
  }

  monitor_state.notify_window =
      CreateWindowExW(0, WINDOW_CLASS_NAME, WINDOW_TITLE, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                      window_class.hInstance, nullptr);
  if (monitor_state.notify_window == nullptr) {
    console_log("Kestrune: Failed to create hidden window\n");
    console_log("Kestrune: [ERROR] Failed to create notification window\n");
    release_failed_start();
    return false;
  }
  console_log("Kestrune: [SUCCESS] Hidden notification window created\n");

  monitor_state.notify_handle = register_for_audio_interfaces(monitor_state.notify_window);
  if (monitor_state.notify_handle == nullptr) {
    console_log("Kestrune: Failed to register for device notifications\n");
    console_log("Kestrune: [ERROR] Failed to register device notifications\n");
    release_failed_start();
    return false;
  }
  console_log("Kestrune: Windows device notifications registered successfully\n");
  console_log("Kestrune: [SUCCESS] Device notifications registered\n");
  console_log("Kestrune: [INIT_SUCCESS] Windows device monitoring initialized successfully\n");
  return true;
}

// Released in the reverse order of acquisition. The class is unregistered even when this load
// never registered it: one left by an earlier instance of the module must not outlive it.
void stop_device_monitoring() {
  if (monitor_state.notify_handle != nullptr) {
    UnregisterDeviceNotification(monitor_state.notify_handle);
    monitor_state.notify_handle = nullptr;
  }
  if (monitor_state.notify_window != nullptr) {
    DestroyWindow(monitor_state.notify_window);
    monitor_state.notify_window = nullptr;
  }
  UnregisterClassW(WINDOW_CLASS_NAME, host_instance());
  console_log("Kestrune: Windows device monitoring cleaned up\n");
}

// The class and window are Unicode, so everything else goes to the wide default procedure: the
// narrow one would read the UTF-16 title as 8-bit text and leave the window titled "K".
LRESULT CALLBACK notification_window_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message != WM_DEVICECHANGE) {
    return DefWindowProcW(window, message, first, second);
  }
  // The second parameter is handed on unread: for most event types it is no pointer at all.
  on_device_change(DeviceChangeEvent{first, reinterpret_cast<const DEV_BROADCAST_HDR*>(second)});
  return 0;
}
