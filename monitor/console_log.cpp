#include "monitor/console_log.h"

#ifndef KESTRUNE_LOG_COMPILED_OUT

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "monitor/monitor_state.h"

// The build may name a smaller formatter with the same arguments as vsnprintf: the Windows C
// runtime's own _vsnprintf, rather than the complete one mingw links in.
#ifndef KESTRUNE_LOG_VSNPRINTF
#define KESTRUNE_LOG_VSNPRINTF std::vsnprintf
#endif

bool log_enabled() {
  return monitor_state.verbose_log &&
         monitor_state.host_functions[SLOT_SHOW_CONSOLE_MSG] != nullptr;
}

// The buffer lives on the stack so that logging never allocates, and the formatter is bounded
// to it: a long argument is cut rather than written past the end. _vsnprintf leaves a line that
// fills the buffer unterminated (and reports -1), so the last byte is always set here; the cut
// line is shown either way.
void console_log(const char* format, ...) {
  if (!log_enabled()) {
    return;
  }
  ShowConsoleMsgFn show = host_show_console_msg();
  if (std::strchr(format, '%') == nullptr) {
    show(format);
    return;
  }
  char line[LOG_BUFFER_SIZE];
  va_list arguments;
  va_start(arguments, format);
  static_cast<void>(KESTRUNE_LOG_VSNPRINTF(line, sizeof line, format, arguments));
  va_end(arguments);
  line[sizeof line - 1] = '\0';
  show(line);
}

#endif
