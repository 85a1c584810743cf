// What the probe saw from an accepted notice until the plug-in would be idle again: the notices,
// the resumes from sleep, and every change of the MIDI counts. Plain data, free of platform
// headers, so that the verdict on it is decided, and tested, in either world.
#pragma once

#include <cstdint>

constexpr int MAX_WATCHED_EVENTS = 32;
constexpr int MAX_WATCHED_CHANGES = 64;

struct PortCounts {
  uint32_t inputs;
  uint32_t outputs;
};

struct WatchedEvent {
  int number;  // as the event line shows it
  long long ms;
  bool port_class;
  bool arrival;
  bool resume;  // the system's automatic resume from sleep, not a device notice
};

struct CountChange {
  long long ms;
  PortCounts counts;
};

// The counts read before the first accepted notice stand for the plug-in's baseline.
struct WatchRecord {
  PortCounts baseline;
  WatchedEvent events[MAX_WATCHED_EVENTS];
  int event_count;
  CountChange changes[MAX_WATCHED_CHANGES];
  int change_count;
  long long end_ms;  // how far the counts were watched
};
