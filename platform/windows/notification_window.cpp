#include "platform/windows/notification_window.h"

#include <cstdint>

#include "monitor/console_log.h"
#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "platform/windows/window_class.h"

namespace {

const wchar_t WINDOW_TITLE[] = L"Kestrune Hidden Window";

// A scan for another copy's window that keeps losing its place gives up after this many fresh
// starts; each one needs another process to destroy a window between two steps of the scan.
constexpr int MAX_WINDOW_SCANS = 1000;
constexpr int EMPTY_SCAN_REPEATS = 3;

// The class belongs to this module. Under the host's executable a second copy of the DLL (a
// backup in the plug-in folder, the other variant) would find the class already there and create
// its window with the first copy's procedure, which jumps into freed code once that copy is gone.
// Null when the system cannot say: the class is then neither registered nor unregistered, since
// under a null instance it would be the executable's.
HINSTANCE module_instance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&notification_window_proc), &module);
  return module;
}

// FindWindowExW continues after a given window, and finds nothing when another process has just
// destroyed that window: then the scan ended early, not at the end of the list, and starts over.
bool scan_for_another_copy() {
  DWORD this_process = GetCurrentProcessId();
  for (int scan = 0; scan < MAX_WINDOW_SCANS; ++scan) {
    HWND window = nullptr;
    HWND next;
    while ((next = FindWindowExW(HWND_MESSAGE, window, WINDOW_CLASS_NAME, nullptr)) != nullptr) {
      window = next;
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == this_process && window != monitor_state.notify_window) {
        return true;
      }
    }
    if (window == nullptr || IsWindow(window)) {
      return false;
    }
  }
  return false;
}

// Only one copy listens in a process: two would reset the host twice for one change. Windows of
// other processes don't count, nor does this copy's own. A window another process is destroying
// can hide the ones after it from a scan that looks complete (Wine unlinks it before its handle
// dies), so a scan that finds nothing is made again.
bool another_copy_active() {
  for (int repeat = 0; repeat < EMPTY_SCAN_REPEATS; ++repeat) {
    if (scan_for_another_copy()) {
      return true;
    }
  }
  return false;
}

HDEVNOTIFY register_for_interfaces(HWND window, const GUID& interface_class) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_reserved = 0;
  filter.dbcc_classguid = interface_class;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

// MIDI class drivers publish a device's ports under the audio class, and the system's MIDI
// service publishes each port on its own, later, under the port classes. Without the port
// classes a device whose ports come late goes unseen; without the audio class, one whose driver
// publishes nothing else. So the audio class is required and the port classes are a bonus.
HDEVNOTIFY register_for_port_class(const GUID& interface_class, const char* which) {
  HDEVNOTIFY handle = register_for_interfaces(monitor_state.notify_window, interface_class);
  if (handle == nullptr && log_enabled()) {
    console_log(
        "Kestrune: [WARNING] Failed to register for MIDI %s port notifications (error %d) - "
        "monitoring goes on without them\n",
        which, static_cast<int32_t>(GetLastError()));
  }
  return handle;
}

void unregister(HDEVNOTIFY* handle) {
  if (*handle != nullptr) {
    UnregisterDeviceNotification(*handle);
    *handle = nullptr;
  }
}

// A message-only window hears no broadcast, WM_POWERBROADCAST included, unless it asks for the
// suspend and resume events. Whether Windows delivers them to such a window is not documented;
// without them a resume still shows as the stall its sleep leaves in the ticks.
void register_for_resume() {
  monitor_state.power_notify_handle =
      RegisterSuspendResumeNotification(monitor_state.notify_window, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (monitor_state.power_notify_handle == nullptr && log_enabled()) {
    console_log(
        "Kestrune: [WARNING] Failed to register for suspend/resume notifications (error %d) - "
        "monitoring goes on without them\n",
        static_cast<int32_t>(GetLastError()));
  }
}

// Reverse order of acquisition: suspend and resume, the port classes, then the audio class.
void release_registrations() {
  if (monitor_state.power_notify_handle != nullptr) {
    UnregisterSuspendResumeNotification(monitor_state.power_notify_handle);
    monitor_state.power_notify_handle = nullptr;
  }
  unregister(&monitor_state.output_port_notify_handle);
  unregister(&monitor_state.input_port_notify_handle);
  unregister(&monitor_state.notify_handle);
}

// A refused load may be followed by the host freeing the module without another call, so what
// this start acquired is released here: a class left behind would keep a procedure pointing into
// unloaded code for the next load to reuse.
void release_failed_start(HINSTANCE instance) {
  release_registrations();
  if (monitor_state.notify_window != nullptr) {
    DestroyWindow(monitor_state.notify_window);
    monitor_state.notify_window = nullptr;
  }
  UnregisterClassW(WINDOW_CLASS_NAME, instance);
}

// A start that failed once the window was being made: its two lines, then what it acquired is
// released.
bool refuse_start(const char* failure, const char* error, HINSTANCE instance) {
  console_log("%s", failure);
  console_log("%s", error);
  release_failed_start(instance);
  return false;
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

  // A host that loads the plug-in again without unloading it: a second window would overwrite
  // the first one's handles, and that window and its registrations would outlive the module,
  // whose freed code the next message to it would then run.
  if (monitor_state.notify_window != nullptr) {
    console_log("Kestrune: [SUCCESS] Hidden notification window of the earlier load kept\n");
    console_log("Kestrune: [INIT_SUCCESS] Windows device monitoring initialized successfully\n");
    return true;
  }

  if (another_copy_active()) {
    console_log(
        "Kestrune: [ERROR] Another copy of Kestrune is already active in this process - this copy "
        "stays inactive\n");
    return false;
  }

  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = notification_window_proc;
  window_class.hInstance = module_instance();
  window_class.lpszClassName = WINDOW_CLASS_NAME;
  // Without this module's own instance there is no class to register: under a null one it would
  // be the executable's. A class left by an earlier load of this module is the same class, and is
  // used as it is.
  if (window_class.hInstance == nullptr ||
      (RegisterClassW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)) {
    console_log("Kestrune: Failed to register window class\n");
    console_log("Kestrune: [ERROR] Failed to create notification window\n");
    return false;
  }

  monitor_state.notify_window =
      CreateWindowExW(0, WINDOW_CLASS_NAME, WINDOW_TITLE, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                      window_class.hInstance, nullptr);
  if (monitor_state.notify_window == nullptr) {
    return refuse_start("Kestrune: Failed to create hidden window\n",
                        "Kestrune: [ERROR] Failed to create notification window\n",
                        window_class.hInstance);
  }
  console_log("Kestrune: [SUCCESS] Hidden notification window created\n");

  monitor_state.notify_handle =
      register_for_interfaces(monitor_state.notify_window, KSCATEGORY_AUDIO);
  if (monitor_state.notify_handle == nullptr) {
    return refuse_start("Kestrune: Failed to register for device notifications\n",
                        "Kestrune: [ERROR] Failed to register device notifications\n",
                        window_class.hInstance);
  }
  console_log("Kestrune: Windows device notifications registered successfully\n");
  monitor_state.input_port_notify_handle =
      register_for_port_class(MIDI_INPUT_PORT_INTERFACE, "input");
  monitor_state.output_port_notify_handle =
      register_for_port_class(MIDI_OUTPUT_PORT_INTERFACE, "output");
  register_for_resume();
  console_log("Kestrune: [SUCCESS] Device notifications registered\n");
  console_log("Kestrune: [INIT_SUCCESS] Windows device monitoring initialized successfully\n");
  return true;
}

// Released in the reverse order of acquisition. The class is unregistered even when this load
// never registered it: one left by an earlier instance of the module must not outlive it.
void stop_device_monitoring() {
  release_registrations();
  if (monitor_state.notify_window != nullptr) {
    DestroyWindow(monitor_state.notify_window);
    monitor_state.notify_window = nullptr;
  }
  HINSTANCE instance = module_instance();
  if (instance != nullptr) {
    UnregisterClassW(WINDOW_CLASS_NAME, instance);
  }
  console_log("Kestrune: Windows device monitoring cleaned up\n");
}

// The class and window are Unicode, so everything else goes to the wide default procedure: the
// narrow one would read the UTF-16 title as 8-bit text and leave the window titled "K".
//
// WM_CLOSE is not passed on: any process may post it, and the default procedure would destroy
// the window, leaving a plug-in that counts as loaded but hears no device any more. A power
// event is answered TRUE, which grants whatever it may ask.
LRESULT CALLBACK notification_window_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message == WM_CLOSE) {
    return 0;
  }
  if (message == WM_POWERBROADCAST) {
    on_power_broadcast(first);
    return TRUE;
  }
  if (message != WM_DEVICECHANGE) {
    return DefWindowProcW(window, message, first, second);
  }
  // The second parameter is handed on unread: for most event types it is no pointer at all.
  on_device_change(DeviceChangeEvent{first, reinterpret_cast<const DEV_BROADCAST_HDR*>(second)});
  return 0;
}
