// Diagnostic lines on the host's console, written only when the diagnostic switch is on.
#pragma once

bool log_enabled();

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void console_log(const char* format, ...);
