// Finding a process's plug-in windows under a real user32. Message-only windows can only be
// searched for desktop-wide, and other processes create and destroy theirs meanwhile.
#pragma once

#include <windows.h>

// How many KestruneWindow windows `process_id` owns; the first of them in `first` (null for none)
// when `first` is given.
int plugin_windows_of(DWORD process_id, HWND* first);
