// A formatter that cuts a line as the Windows C runtime's _vsnprintf does, for a build of the
// console test that meets it natively: a line that fills the buffer gets no terminator, and -1.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

inline int truncating_vsnprintf(char* buffer, size_t size, const char* format, va_list arguments) {
  char whole[1024];
  int length = std::vsnprintf(whole, sizeof whole, format, arguments);
  size_t kept = length < 0 || static_cast<size_t>(length) >= size ? size : length + 1u;
  std::memcpy(buffer, whole, kept);
  return kept == size && static_cast<size_t>(length) >= size ? -1 : length;
}
