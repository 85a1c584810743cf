// Shared between the files of the simulated platform; not for tests or production code.
#pragma once

#include <thread>

#include "platform/simulated/sim_control.h"

// Journals and counts one call; true when an injected failure is due, with its last error set.
bool sim_enter(SimCall call);

// For message delivery: a window's procedure, and the thread whose queue its messages wait in.
WNDPROC sim_window_proc(HWND window);
bool sim_window_owner(HWND window, std::thread::id* owner);

// Queues, and the clock their sent messages wait by.
void sim_queue_reset();
void sim_queue_forget_window(HWND window);
ULONGLONG sim_clock();
void sim_queue_drop_expired();

// Windows, classes and registrations.
void sim_windows_reset();
void sim_machine_reset();
