#include "monitor/console_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "monitor/monitor_state.h"

bool log_enabled() {
  return monitor_state.verbose_log &&
         monitor_state.host_functions[SLOT_SHOW_CONSOLE_MSG] != nullptr;
}

// The buffer lives on the stack so that logging never allocates, and vsnprintf bounds the
// line to it: a long argument is cut rather than written past the end.
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
  int written = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (written < 0) {
    return;
  }
  show(line);
}
