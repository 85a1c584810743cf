#include "probe/probe_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {

LARGE_INTEGER clock_start;
LARGE_INTEGER clock_frequency;

// A report that cannot be written has nowhere to say so: the results are not looked at.
void write_line(const char* prefix, const char* format, va_list arguments) {
  (void)std::fputs(prefix, stdout);
  (void)std::vfprintf(stdout, format, arguments);
  (void)std::fputc('\n', stdout);
  (void)std::fflush(stdout);
}

}  // namespace

// The performance counter, not the tick count: on Windows that advances in steps of about 16 ms,
// coarser than the 10 ms polling it would time.
void start_probe_output() {
  _setmode(_fileno(stdout), _O_BINARY);
  QueryPerformanceFrequency(&clock_frequency);
  QueryPerformanceCounter(&clock_start);
}

long long probe_ms() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return (now.QuadPart - clock_start.QuadPart) * 1000 / clock_frequency.QuadPart;
}

void probe_line(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  write_line("", format, arguments);
  va_end(arguments);
}

void probe_timed_line(long long ms, const char* format, ...) {
  char prefix[32];
  (void)std::snprintf(prefix, sizeof prefix, "%8lld ms  ", ms);
  va_list arguments;
  va_start(arguments, format);
  write_line(prefix, format, arguments);
  va_end(arguments);
}

void utf8_of(const wchar_t* text, size_t max_chars, char* out, size_t out_size) {
  size_t length = 0;
  while (length < max_chars && text[length] != L'\0') {
    ++length;
  }
  int written = length == 0 ? 0
                            : WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out,
                                                  static_cast<int>(out_size - 1), nullptr, nullptr);
  out[written > 0 ? written : 0] = '\0';
}
