#include "monitor/monitor_state.h"
#include "probe/probe_output.h"
#include "probe/watch_record.h"

// The plug-in's rules, replayed on what was seen: the first accepted notice schedules a
// verification CHECK_DELAY_TICKS ticks later; notices while it is pending schedule nothing, but
// a MIDI port removal among them is remembered; the verification compares the counts with the
// baseline and resets the host when they differ or a port was removed, and the counts it read
// become the baseline. Settling after load and a reset already counting down are not replayed:
// the probe assumes a plug-in loaded long before and idle when the first notice came.
//
// The verification runs on the fifth tick after the one whose message check delivers the
// notice, so up to one tick later than CHECK_DELAY_TICKS ticks after the notice itself: a change
// within that delay is seen for certain, a change within one more tick only by luck of phase.

namespace {

struct Counts {
  UINT inputs;
  UINT outputs;
};

struct Replay {
  const WatchRecord* record;
  long long delay_ms;
  Counts baseline;
  bool pending;
  int scheduled_by;
  long long scheduled_ms;
  bool port_removed;
  int resets;
  int first_reset_by;
};

bool differ(Counts first, Counts second) {
  return first.inputs != second.inputs || first.outputs != second.outputs;
}

Counts counts_at(const WatchRecord& record, long long ms) {
  Counts counts{record.baseline_inputs, record.baseline_outputs};
  for (int i = 0; i < record.change_count && record.changes[i].ms <= ms; ++i) {
    counts = Counts{record.changes[i].inputs, record.changes[i].outputs};
  }
  return counts;
}

// The first time after `from` that the counts differ from `baseline`, or -1.
long long first_difference_after(const WatchRecord& record, long long from, Counts baseline) {
  for (int i = 0; i < record.change_count; ++i) {
    const CountChange& change = record.changes[i];
    if (change.ms > from && differ(Counts{change.inputs, change.outputs}, baseline)) {
      return change.ms;
    }
  }
  return -1;
}

void verify(Replay* replay) {
  const WatchRecord& record = *replay->record;
  long long at = replay->scheduled_ms + replay->delay_ms;
  replay->pending = false;
  if (at > record.end_ms) {
    probe_timed_line(
        record.end_ms,
        "verdict  #%d: its verification at %lld ms, %lld ms after it, falls after the end of "
        "the run: unknown",
        replay->scheduled_by, at, replay->delay_ms);
    return;
  }
  Counts seen = counts_at(record, at);
  Counts before = replay->baseline;
  bool changed = differ(seen, before);
  bool reset = changed || replay->port_removed;
  if (changed) {
    probe_timed_line(
        record.end_ms,
        "verdict  #%d: its verification at %lld ms, %lld ms after it, reads in %u, out %u "
        "where there were in %u, out %u: it sees the change, reset",
        replay->scheduled_by, at, replay->delay_ms, seen.inputs, seen.outputs, before.inputs,
        before.outputs);
  } else if (replay->port_removed) {
    probe_timed_line(
        record.end_ms,
        "verdict  #%d: its verification at %lld ms, %lld ms after it, reads in %u, out %u as "
        "before, but a MIDI port was removed: reset",
        replay->scheduled_by, at, replay->delay_ms, seen.inputs, seen.outputs);
  } else {
    long long later = first_difference_after(record, at, before);
    if (later < 0) {
      probe_timed_line(
          record.end_ms,
          "verdict  #%d: its verification at %lld ms, %lld ms after it, reads in %u, out %u "
          "as before: no change to see, no reset",
          replay->scheduled_by, at, replay->delay_ms, seen.inputs, seen.outputs);
    } else {
      probe_timed_line(
          record.end_ms,
          "verdict  #%d: its verification at %lld ms, %lld ms after it, reads in %u, out %u "
          "as before: it misses the change %lld ms after it; only a later notice "
          "can schedule a verification that sees it",
          replay->scheduled_by, at, replay->delay_ms, seen.inputs, seen.outputs,
          later - replay->scheduled_ms);
    }
  }
  replay->baseline = seen;
  replay->port_removed = false;
  if (reset && replay->resets++ == 0) {
    replay->first_reset_by = replay->scheduled_by;
  }
}

}  // namespace

void print_verdict(const WatchRecord& record, int32_t tick_ms) {
  Replay replay{&record,
                static_cast<long long>(CHECK_DELAY_TICKS) * tick_ms,
                Counts{record.baseline_inputs, record.baseline_outputs},
                false,
                0,
                0,
                false,
                0,
                0};
  for (int i = 0; i < record.event_count; ++i) {
    const WatchedEvent& event = record.events[i];
    if (replay.pending && replay.scheduled_ms + replay.delay_ms < event.ms) {
      verify(&replay);
    }
    if (event.port_class && !event.arrival) {
      replay.port_removed = true;
    }
    if (replay.pending) {
      probe_timed_line(
          record.end_ms,
          "verdict  #%d at %lld ms: dropped, %lld ms after #%d, whose verification is pending%s",
          event.number, event.ms, event.ms - replay.scheduled_ms, replay.scheduled_by,
          event.port_class && !event.arrival ? " (the port removal is remembered)" : "");
      continue;
    }
    replay.pending = true;
    replay.scheduled_by = event.number;
    replay.scheduled_ms = event.ms;
  }
  if (replay.pending) {
    verify(&replay);
  }
  if (replay.resets > 0) {
    probe_timed_line(record.end_ms,
                     "verdict: at a tick of %d ms the plug-in would reset the host, after the "
                     "verification of #%d",
                     tick_ms, replay.first_reset_by);
  } else {
    probe_timed_line(record.end_ms,
                     "verdict: at a tick of %d ms the plug-in would not reset the host", tick_ms);
  }
}
