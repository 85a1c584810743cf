// What every benchmark program shares, in either world. One row of the table scripts/bench.sh
// prints: the figure, its value and how it was measured, separated by tabs, so that the rows of
// every program line up in one table. And an empty message-only window of the program's own, on
// which the bare message check that the idle tick wraps is timed.
#pragma once

#include "platform/win32.h"

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
void bench_row(const char* figure, const char* how, const char* value_format, ...);

// Null, with the reason on stderr, when the class or the window could not be made.
HWND bench_empty_window();
void bench_destroy_empty_window(HWND window);
