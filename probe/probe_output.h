// The probe's report: plain lines on stdout, each flushed at once, so that a pipe or a file
// holds every line the moment it is written, and the times of the lines are the times of events.
// A file or a pipe gets UTF-8; a console, wide text.
#pragma once

#include <cstddef>

// Binary stdout ("\n", not "\r\n"), whether it is a console, and the clock's zero.
void start_probe_output();
// Milliseconds since start_probe_output.
long long probe_ms();

void probe_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same, after the time in ms, right-aligned so that the lines read as a column.
void probe_timed_line(long long ms, const char* format, ...) __attribute__((format(printf, 2, 3)));

// UTF-8 of at most `max_chars` wide characters (stopping at a null), always terminated.
void utf8_of(const wchar_t* text, size_t max_chars, char* out, size_t out_size);
