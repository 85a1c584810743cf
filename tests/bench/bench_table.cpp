#include "tests/bench/bench_table.h"

#include <cstdarg>
#include <cstdio>

void bench_row(const char* figure, const char* how, const char* value_format, ...) {
  char value[128];
  va_list arguments;
  va_start(arguments, value_format);
  std::vsnprintf(value, sizeof value, value_format, arguments);
  va_end(arguments);
  std::printf("%s\t%s\t%s\n", figure, value, how);
  // The script reads the rows through a pipe; a program that fails later keeps what it printed.
  std::fflush(stdout);
}
