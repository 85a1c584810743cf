// What one device-change notification from the system means for the reset monitor.
#pragma once

#include "monitor/interface_class.h"
#include "platform/win32.h"

// One WM_DEVICECHANGE as the window procedure hands it on. The header is whatever the sender
// put in the message's second parameter: it is not read until the event is known to be an
// arrival or removal, and then only as far as its own size says it reaches.
struct DeviceChangeEvent {
  WPARAM event_code;
  const DEV_BROADCAST_HDR* header;
};

void on_device_change(DeviceChangeEvent event);
