// A hidden, message-only window through which the system tells the plug-in of audio-class device
// interfaces arriving and leaving.
#pragma once

#include "platform/win32.h"

bool start_device_monitoring();
void stop_device_monitoring();
LRESULT CALLBACK notification_window_proc(HWND window, UINT message, WPARAM first, LPARAM second);
