// One WM_DEVICECHANGE as the probe reports it, and whether the plug-in would act on it.
#pragma once

#include <cstddef>

#include "monitor/interface_class.h"
#include "platform/win32.h"

struct DeviceEvent {
  const char* event_name;  // "arrival", "removal", or another event's code
  char event_code[16];
  char class_name[48];  // a class the plug-in knows by name, any other as a GUID
  char path[512];       // the interface path, UTF-8; empty when the header holds none
  HeaderClass header;
  bool arrival;
  bool removal;
  bool accepted;  // an arrival or removal of a class the plug-in acts on
  // "accepted by class", or why the plug-in would ignore it. By class only: the plug-in also
  // drops notices while it settles after load and while a verification is pending.
  const char* outcome;
};

// A class by the name the probe gives it when the plug-in knows it, any other as its GUID.
void name_class(const GUID& guid, char* out, size_t out_size);

// Reads the header only for an arrival or a removal, and then no byte past its dbch_size, as
// the plug-in does: for other events the second parameter is no pointer.
void describe_device_event(WPARAM code, LPARAM parameter, DeviceEvent* event);
