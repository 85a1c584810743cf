// The simulated machine: its MIDI ports, and the registrations through which windows hear of
// interfaces arriving and leaving, and of the machine's suspend and resume.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/simulated/sim_internal.h"
#include "sim/device_notice.h"

namespace {

constexpr int MAX_REGISTRATIONS = 32;

struct Registration {
  bool in_use;
  bool power;  // for suspend and resume, not for device interfaces
  HDEVNOTIFY handle;
  HWND recipient;
  bool all_classes;
  GUID interface_class;
};

Registration registrations[MAX_REGISTRATIONS];
uintptr_t next_registration;
UINT midi_counts[2];  // by SimMidiPort
unsigned device_serial;

void notify(WPARAM event, SimMidiPort port, const GUID& interface_class) {
  char link[40];
  std::snprintf(link, sizeof link, "\\\\?\\SIM#MIDI_%s#%u", port == SIM_MIDI_INPUT ? "IN" : "OUT",
                ++device_serial);
  DeviceNotice notice = interface_notice(interface_class, link);
  for (const Registration& registration : registrations) {
    if (registration.in_use && !registration.power &&
        (registration.all_classes ||
         std::memcmp(&registration.interface_class, &interface_class, sizeof(GUID)) == 0)) {
      sim_send_device_change_from_outside(registration.recipient, event, notice.bytes, notice.size);
    }
  }
}

int registrations_of(bool power) {
  return static_cast<int>(std::count_if(
      std::begin(registrations), std::end(registrations),
      [power](const Registration& used) { return used.in_use && used.power == power; }));
}

// A free slot for a registration, or null with the last error set.
Registration* new_registration(HWND window, bool power) {
  for (Registration& registration : registrations) {
    if (!registration.in_use) {
      registration = Registration{true,   power, reinterpret_cast<HDEVNOTIFY>(next_registration++),
                                  window, false, GUID{}};
      return &registration;
    }
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

BOOL unregister(HDEVNOTIFY handle, bool power) {
  for (Registration& registration : registrations) {
    if (registration.in_use && registration.power == power && registration.handle == handle) {
      registration = Registration{};
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

UINT read_count(SimMidiPort port, SimCall call) {
  sim_enter(call);
  return midi_counts[port];
}

}  // namespace

void sim_machine_reset() {
  std::fill(std::begin(registrations), std::end(registrations), Registration{});
  next_registration = 0xD000;
  sim_set_midi_counts(0, 0);
  device_serial = 0;
}

int sim_registration_count() {
  return registrations_of(false);
}

int sim_power_registration_count() {
  return registrations_of(true);
}

bool sim_registered_for(const GUID& interface_class) {
  for (const Registration& registration : registrations) {
    if (registration.in_use && !registration.all_classes &&
        std::memcmp(&registration.interface_class, &interface_class, sizeof(GUID)) == 0) {
      return true;
    }
  }
  return false;
}

void sim_set_midi_counts(UINT inputs, UINT outputs) {
  midi_counts[SIM_MIDI_INPUT] = inputs;
  midi_counts[SIM_MIDI_OUTPUT] = outputs;
}

void sim_plug_device(SimMidiPort port, const GUID& interface_class) {
  ++midi_counts[port];
  notify(DBT_DEVICEARRIVAL, port, interface_class);
}

void sim_unplug_device(SimMidiPort port, const GUID& interface_class) {
  if (midi_counts[port] > 0) {
    --midi_counts[port];
  }
  notify(DBT_DEVICEREMOVECOMPLETE, port, interface_class);
}

void sim_announce_interface(WPARAM event, const GUID& interface_class) {
  notify(event, SIM_MIDI_INPUT, interface_class);
}

HDEVNOTIFY WINAPI RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) {
  if (sim_enter(SIM_REGISTER_DEVICE_NOTIFICATION_A)) {
    return nullptr;
  }
  HWND window = static_cast<HWND>(recipient);
  if ((flags & 0x3) != DEVICE_NOTIFY_WINDOW_HANDLE || !IsWindow(window)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const auto* wanted = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter);
  if (wanted == nullptr || wanted->dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) ||
      wanted->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  Registration* registration = new_registration(window, false);
  if (registration == nullptr) {
    return nullptr;
  }
  registration->all_classes = (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0;
  registration->interface_class = wanted->dbcc_classguid;
  return registration->handle;
}

BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY handle) {
  if (sim_enter(SIM_UNREGISTER_DEVICE_NOTIFICATION)) {
    return FALSE;
  }
  return unregister(handle, false);
}

HPOWERNOTIFY WINAPI RegisterSuspendResumeNotification(HANDLE recipient, DWORD flags) {
  if (sim_enter(SIM_REGISTER_SUSPEND_RESUME)) {
    return nullptr;
  }
  HWND window = static_cast<HWND>(recipient);
  if (flags != DEVICE_NOTIFY_WINDOW_HANDLE || !IsWindow(window)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  Registration* registration = new_registration(window, true);
  return registration != nullptr ? registration->handle : nullptr;
}

BOOL WINAPI UnregisterSuspendResumeNotification(HPOWERNOTIFY handle) {
  if (sim_enter(SIM_UNREGISTER_SUSPEND_RESUME)) {
    return FALSE;
  }
  return unregister(handle, true);
}

void sim_power_event(WPARAM event) {
  for (const Registration& registration : registrations) {
    if (registration.in_use && registration.power) {
      sim_send_from_outside(registration.recipient, WM_POWERBROADCAST, event, 0);
    }
  }
}

UINT WINAPI midiInGetNumDevs() {
  return read_count(SIM_MIDI_INPUT, SIM_MIDI_IN_GET_NUM_DEVS);
}

UINT WINAPI midiOutGetNumDevs() {
  return read_count(SIM_MIDI_OUTPUT, SIM_MIDI_OUT_GET_NUM_DEVS);
}
