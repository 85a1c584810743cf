#include "probe/probe_window.h"

#include "monitor/interface_class.h"
#include "probe/device_event.h"
#include "probe/device_watch.h"
#include "probe/probe_output.h"

const wchar_t PROBE_WINDOW_CLASS[] = L"KestruneProbeWindow";

namespace {

// The classes the plug-in's window registers for, in its order.
const GUID* const PLUGIN_CLASSES[] = {&KSCATEGORY_AUDIO, &MIDI_INPUT_PORT_INTERFACE,
                                      &MIDI_OUTPUT_PORT_INTERFACE};
constexpr int REGISTRATION_COUNT = 3;

HWND probe_window = nullptr;
HDEVNOTIFY registrations[REGISTRATION_COUNT] = {};
HPOWERNOTIFY power_registration = nullptr;

// Sent messages from the system come here inside the main loop's PeekMessageW.
LRESULT CALLBACK probe_window_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message == WM_DEVICECHANGE) {
    on_probe_device_change(first, second);
    return TRUE;
  }
  if (message == WM_POWERBROADCAST) {
    on_probe_power_event(first);
    return TRUE;
  }
  return DefWindowProcW(window, message, first, second);
}

// Asked for as the plug-in asks: optional, and said either way.
void register_for_power_events() {
  power_registration = RegisterSuspendResumeNotification(probe_window, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (power_registration != nullptr) {
    probe_line("suspend/resume notifications: registered");
  } else {
    probe_line("suspend/resume notifications: could not register (error %lu)", GetLastError());
  }
}

HDEVNOTIFY register_for(const GUID* guid) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  DWORD flags = DEVICE_NOTIFY_WINDOW_HANDLE;
  if (guid == nullptr) {
    flags |= DEVICE_NOTIFY_ALL_INTERFACE_CLASSES;
  } else {
    filter.dbcc_classguid = *guid;
  }
  return RegisterDeviceNotificationW(probe_window, &filter, flags);
}

}  // namespace

bool open_probe_window(bool all_classes) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = probe_window_proc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = PROBE_WINDOW_CLASS;
  if (RegisterClassW(&window_class) == 0) {
    probe_line("could not register the window class (error %lu)", GetLastError());
    return false;
  }
  probe_window = CreateWindowExW(0, PROBE_WINDOW_CLASS, L"Kestrune Probe", 0, 0, 0, 0, 0,
                                 HWND_MESSAGE, nullptr, window_class.hInstance, nullptr);
  if (probe_window == nullptr) {
    probe_line("could not create the window (error %lu)", GetLastError());
    close_probe_window();
    return false;
  }
  if (all_classes) {
    registrations[0] = register_for(nullptr);
    if (registrations[0] == nullptr) {
      probe_line("could not register for every interface class (error %lu)", GetLastError());
      close_probe_window();
      return false;
    }
    probe_line("listening to: every device-interface class");
    register_for_power_events();
    return true;
  }
  // As in the plug-in, the audio class is required and the port classes are not: a system
  // that refuses them is worth a line in the report, and the plug-in goes on without them.
  for (int i = 0; i < REGISTRATION_COUNT; ++i) {
    registrations[i] = register_for(PLUGIN_CLASSES[i]);
    if (registrations[i] == nullptr) {
      DWORD error = GetLastError();
      char name[48];
      name_class(*PLUGIN_CLASSES[i], name, sizeof name);
      probe_line("could not register for the %s class (error %lu)", name, error);
      if (i == 0) {
        close_probe_window();
        return false;
      }
    }
  }
  probe_line("listening to: audio, MIDI input port, MIDI output port (as the plug-in does)");
  register_for_power_events();
  return true;
}

void close_probe_window() {
  if (power_registration != nullptr) {
    UnregisterSuspendResumeNotification(power_registration);
    power_registration = nullptr;
  }
  for (int i = REGISTRATION_COUNT - 1; i >= 0; --i) {
    if (registrations[i] != nullptr) {
      UnregisterDeviceNotification(registrations[i]);
      registrations[i] = nullptr;
    }
  }
  if (probe_window != nullptr) {
    DestroyWindow(probe_window);
    probe_window = nullptr;
  }
  UnregisterClassW(PROBE_WINDOW_CLASS, GetModuleHandleW(nullptr));
}
