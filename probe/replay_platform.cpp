#include "probe/replay_platform.h"

#include "monitor/monitor_platform.h"

namespace {

const WatchRecord* replayed = nullptr;
long long replay_ms = 0;

}  // namespace

void replay_platform_start(const WatchRecord* record) {
  replayed = record;
  replay_ms = 0;
}

void replay_platform_set_time(long long ms) {
  replay_ms = ms;
}

PortCounts replay_counts_at(long long ms) {
  PortCounts counts = replayed->baseline;
  for (int i = 0; i < replayed->change_count && replayed->changes[i].ms <= ms; ++i) {
    counts = replayed->changes[i].counts;
  }
  return counts;
}

void drain_notification_window(HWND /*window*/) {}

MidiCounts read_midi_counts() {
  PortCounts counts = replay_counts_at(replay_ms);
  return MidiCounts{static_cast<int32_t>(counts.inputs), static_cast<int32_t>(counts.outputs)};
}

// The record's times start near 0, which the monitor takes for no tick at all.
uint64_t read_clock_ms() {
  constexpr uint64_t SINCE_START = 3600000;
  return SINCE_START + static_cast<uint64_t>(replay_ms);
}
