#include "sim/transcript.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

std::vector<std::string> lines;
size_t printed;
bool print_lines;
bool step_open;
size_t open_step_line;
long current_tick;

// In the order of TranscriptKind.
const char* const KIND_WORDS[] = {"step", "console", "command", "call"};

// Lines after an open step wait for it, so that stdout shows them in transcript order.
void flush_final_lines() {
  if (!print_lines) {
    printed = lines.size();
    return;
  }
  size_t last = step_open ? open_step_line : lines.size();
  for (; printed < last; ++printed) {
    std::fputs(lines[printed].c_str(), stdout);
    std::fputc('\n', stdout);
  }
  // A plug-in that brings the process down should still leave what came before it.
  std::fflush(stdout);
}

void append_line(TranscriptKind kind, const std::string& text) {
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "%5ld  %-8s", current_tick, KIND_WORDS[kind]);
  lines.push_back(prefix + text);
}

}  // namespace

void transcript_begin(bool print) {
  lines.clear();
  printed = 0;
  print_lines = print;
  step_open = false;
  open_step_line = 0;
  current_tick = 0;
}

void transcript_set_tick(long tick) {
  current_tick = tick;
}

long transcript_tick() {
  return current_tick;
}

void transcript_add(TranscriptKind kind, const std::string& text) {
  append_line(kind, text);
  flush_final_lines();
}

void transcript_open_step(const std::string& text) {
  append_line(TRANSCRIPT_STEP, text);
  step_open = true;
  open_step_line = lines.size() - 1;
  flush_final_lines();
}

void transcript_close_step(const std::string& outcome) {
  if (!step_open) {
    return;
  }
  lines[open_step_line] += outcome;
  step_open = false;
  flush_final_lines();
}

const std::vector<std::string>& transcript_lines() {
  return lines;
}

void append_printable(std::string* out, const char* begin, const char* end) {
  for (const char* at = begin; at != end; ++at) {
    unsigned char byte = static_cast<unsigned char>(*at);
    if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      *out += escaped;
    } else {
      *out += static_cast<char>(byte);
    }
  }
}

std::string transcript_console_text(const char* text) {
  if (text == nullptr) {
    return "<null>";
  }
  std::string result;
  const char* end = text + std::strlen(text);
  bool newline_at_end = end != text && end[-1] == '\n';
  if (newline_at_end) {
    --end;
  }
  append_printable(&result, text, end);
  if (!newline_at_end) {
    result += " [no newline]";
  }
  return result;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> result;
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    result.push_back(line);
  }
  return result;
}

TranscriptDifference transcript_compare(const std::string& expected) {
  std::vector<std::string> wanted = split_lines(expected);
  size_t count = wanted.size() > lines.size() ? wanted.size() : lines.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string& want = i < wanted.size() ? wanted[i] : std::string("<end>");
    const std::string& got = i < lines.size() ? lines[i] : std::string("<end>");
    if (i >= wanted.size() || i >= lines.size() || want != got) {
      return TranscriptDifference{i + 1, want, got};
    }
  }
  return TranscriptDifference{0, "", ""};
}
