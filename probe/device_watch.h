// What the probe does with each notice: one line for it, then the counts polled for a while
// after an accepted one, each change on a line with its delay and the ports that came or went,
// and at the end what the plug-in would have made of it all.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// How long the counts are watched after an accepted notice, at the given tick.
long long watch_length_ms(int32_t tick_ms);
// Reads and prints the ports present; `tick_ms` is for the verdicts.
void start_device_watch(int32_t tick_ms);
// From the window procedure, for every WM_DEVICECHANGE and every WM_POWERBROADCAST.
void on_probe_device_change(WPARAM code, LPARAM parameter);
void on_probe_power_event(WPARAM event);
// When the main loop must next call poll_device_watch; -1 while nothing is watched, when the
// probe reads nothing at all.
long long next_device_poll_ms();
// Reads the counts if a poll is due, and closes the watch with its verdict once its time is up.
void poll_device_watch(long long now_ms);
// The run is over: a watch still open gets its verdict on what it saw so far.
void end_device_watch(long long now_ms);
