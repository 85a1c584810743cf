// The transcript velmar-sim prints: one line per event, stamped with the number of the tick in
// which it happened. The same scenario played in the two worlds must give the same lines, so the
// format holds nothing that differs between them (no addresses, no times).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum TranscriptKind {
  TRANSCRIPT_STEP,     // a scenario step, with what it did
  TRANSCRIPT_CONSOLE,  // a line the plug-in wrote to the host's console
  TRANSCRIPT_COMMAND,  // a host command the plug-in ran
  TRANSCRIPT_CALL      // a host function the plug-in should never call
};

// Starts an empty transcript at tick 0; with `print`, each line also goes to stdout once final.
void transcript_begin(bool print);

// The number of the last tick run; 0 before the first.
void transcript_set_tick(long tick);
long transcript_tick();

void transcript_add(TranscriptKind kind, const std::string& text);

// A step whose outcome is known only after the plug-in has run: its line comes before the lines
// the plug-in writes meanwhile, and gets its outcome appended when the step closes.
void transcript_open_step(const std::string& text);
void transcript_close_step(const std::string& outcome);

const std::vector<std::string>& transcript_lines();

// Appends the bytes from `begin` to `end`, control bytes and bytes beyond ASCII as \xNN, so that
// whatever a plug-in or a file holds shows as one readable line.
void append_printable(std::string* out, const char* begin, const char* end);

// A console text as it appears in the transcript: without its final newline, with " [no
// newline]" when it had none, and other control bytes (and bytes beyond ASCII) as \xNN.
std::string transcript_console_text(const char* text);

// The lines of a text, each without its "\n", and without a "\r" before it: a file checked out
// with Windows line ends still says the same thing.
std::vector<std::string> split_lines(const std::string& text);

// The first line where `expected` (a file's text) and the transcript part, 0 if none; a missing
// line reads "<end>".
struct TranscriptDifference {
  size_t line;
  std::string expected;
  std::string actual;
};
TranscriptDifference transcript_compare(const std::string& expected);
