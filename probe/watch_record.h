// What the probe saw in the seconds after accepted events, and what the plug-in would have made
// of it.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr int MAX_WATCHED_EVENTS = 32;
constexpr int MAX_WATCHED_CHANGES = 64;

struct WatchedEvent {
  int number;  // as the event line shows it
  long long ms;
  bool port_class;
  bool arrival;
};

struct CountChange {
  long long ms;
  UINT inputs;
  UINT outputs;
};

// From the first accepted event until 5 s after the last one; the counts read before it stand
// for the plug-in's baseline.
struct WatchRecord {
  UINT baseline_inputs;
  UINT baseline_outputs;
  WatchedEvent events[MAX_WATCHED_EVENTS];
  int event_count;
  CountChange changes[MAX_WATCHED_CHANGES];
  int change_count;
  long long end_ms;  // how far the counts were watched
};

// Replays the record with the plug-in's timing at the given tick period and prints one line per
// accepted event, then the overall verdict.
void print_verdict(const WatchRecord& record, int32_t tick_ms);
