#include "probe/probe_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {

// Long enough for any line the probe writes: the longest is a notice with its 511-byte path.
constexpr int LINE_SIZE = 2048;

LARGE_INTEGER clock_start;
LARGE_INTEGER clock_frequency;
HANDLE console = nullptr;

// A console shows bytes in its own code page, which is seldom UTF-8, so a device's name with
// accents would come out garbled: a console gets the line as UTF-16. A file or a pipe gets UTF-8,
// as a report is mailed. A report that cannot be written has nowhere to say so: the results are
// not looked at.
void write_line(const char* prefix, const char* format, va_list arguments) {
  char line[LINE_SIZE];
  int used = std::snprintf(line, sizeof line, "%s", prefix);
  used = used < 0 ? 0 : used;
  int written = std::vsnprintf(line + used, sizeof line - used, format, arguments);
  used += written < 0 ? 0 : written;
  used = used < LINE_SIZE - 1 ? used : LINE_SIZE - 2;
  line[used++] = '\n';
  if (console == nullptr) {
    (void)std::fwrite(line, 1, static_cast<size_t>(used), stdout);
    (void)std::fflush(stdout);
    return;
  }
  wchar_t wide[LINE_SIZE];
  int chars = MultiByteToWideChar(CP_UTF8, 0, line, used, wide, LINE_SIZE);
  DWORD shown = 0;
  (void)WriteConsoleW(console, wide, static_cast<DWORD>(chars > 0 ? chars : 0), &shown, nullptr);
}

}  // namespace

// The performance counter, not the tick count: on Windows that advances in steps of about 16 ms,
// coarser than the 10 ms polling it would time.
void start_probe_output() {
  _setmode(_fileno(stdout), _O_BINARY);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode)) {
    console = output;
  }
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
