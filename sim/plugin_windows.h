// A process's plug-in windows, and the plug-in's class, under a real user32, where message-only
// windows are searched for desktop-wide while other processes create and destroy theirs.
#pragma once

#include <windows.h>

// How many of the plug-in's windows `process_id` owns; the first of them in `first` (null for
// none) when `first` is given.
int plugin_windows_of(DWORD process_id, HWND* first);
// The first window of the class that `process` makes, once it has made one; null if it ends
// first or makes none within 30 s.
HWND wait_for_window(const wchar_t* class_name, const PROCESS_INFORMATION& process);
// The first plug-in window of this process, or null: other programs may run at the same time
// with their own copy of the plug-in loaded.
HWND plugin_window();

// Classes are looked up by the instance's value, so a class left behind by a module is still
// found under it after the module is freed.
bool plugin_class_registered(HINSTANCE instance);
