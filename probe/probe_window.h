// The probe's message-only window, registered for device interfaces as the plug-in's is.
#pragma once

#include "platform/win32.h"

// Its own class name, so that a test in another process finds it and never the plug-in's.
extern const wchar_t PROBE_WINDOW_CLASS[];

// Creates the window and registers it for the plug-in's three classes, or for every class, and
// for suspend and resume, whose events it prints. False, with a line saying what failed, if the
// window or a required registration could not be had; whatever was acquired is then released.
bool open_probe_window(bool all_classes);
// Releases the registrations, then destroys the window and its class.
void close_probe_window();
