// Diagnostic lines on the host's console, written only when the diagnostic switch is on.
#pragma once

#ifdef KESTRUNE_LOG_COMPILED_OUT
// The plain DLL never turns the switch on, so it carries neither the lines nor a formatter:
// every guarded block and every format string folds away at compile time. The native builds
// keep the switch at run time, so that tests and the fuzzer can turn it on and off.
inline bool log_enabled() {
  return false;
}

inline void console_log(const char* /*format*/, ...) {}
#else
bool log_enabled();

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void console_log(const char* format, ...);
#endif
