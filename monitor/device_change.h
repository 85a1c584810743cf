// What the events that may hide a device change mean for the reset monitor: a device-change
// notification, a resume from sleep, and a stall of the host's thread.
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
// The event of a WM_POWERBROADCAST.
void on_power_broadcast(WPARAM event);
// A tick that finds the host's thread stalled, with no event taken in its own drain.
void on_stall();
