#include "probe/watch_verdict.h"

#include "monitor/tick_delays.h"

// The plug-in's rules, replayed in milliseconds on what was seen. The first accepted notice
// schedules a verification CHECK_DELAY_TICKS later; notices while it is pending are dropped, but a
// MIDI port removal among them is remembered. The verification takes the counts it reads as the
// baseline, and schedules the reset RESET_DELAY_TICKS later when they differ from the old one or a
// port was removed. When it sees no change, the counts get a second look SECOND_LOOK_TICKS and a
// last LAST_LOOK_TICKS after the notice; the first look that sees a change takes it as the
// baseline and schedules the reset, restarting one that is pending, and ends the series; a last
// look that sees no change does the same when a MIDI port arrived since the last reset was
// scheduled, which leaves the counts alone when it takes a free number. An accepted notice ends
// the looks still waiting. A reset pending when a notice is accepted waits
// while that notice's verification is pending, then resumes, unless the verification restarts it.
//
// A step k ticks after a notice runs on the k-th tick whose message check comes after it: between
// k - 1 and k ticks after it, as the host's tick falls. The replay takes the latest moment, and
// marks a change that only that moment sees. Settling after load is not replayed: the plug-in is
// taken as loaded long before. Nor is the diagnostic variant's check on the notice itself.

namespace {

constexpr long long NONE = -1;

struct Replay {
  const WatchRecord* record;
  long long tick_ms;
  Verdict* verdicts;
  int capacity;
  int count;
  PortCounts baseline;
  bool port_removed;
  bool port_arrived;
  bool check_pending;
  int check_by;
  long long check_notice_ms;
  bool look_pending;
  LookKind next_look;
  int look_by;
  long long look_notice_ms;
  bool reset_pending;
  long long reset_ms;
  long long reset_scheduled_ms;
  int reset_by;
  LookKind reset_look;
};

bool differ(PortCounts first, PortCounts second) {
  return first.inputs != second.inputs || first.outputs != second.outputs;
}

PortCounts counts_at(const WatchRecord& record, long long ms) {
  PortCounts counts = record.baseline;
  for (int i = 0; i < record.change_count && record.changes[i].ms <= ms; ++i) {
    counts = record.changes[i].counts;
  }
  return counts;
}

// The first time after `from` that the counts differ from `baseline`, or NONE.
long long first_difference_after(const WatchRecord& record, long long from, PortCounts baseline) {
  for (int i = 0; i < record.change_count; ++i) {
    if (record.changes[i].ms > from && differ(record.changes[i].counts, baseline)) {
      return record.changes[i].ms;
    }
  }
  return NONE;
}

long long earlier(long long first, long long second) {
  return first == NONE || (second != NONE && second < first) ? second : first;
}

long long ticks(const Replay& replay, int32_t count) {
  return count * replay.tick_ms;
}

// Beyond the capacity a verdict is still decided, in a spare, and not kept.
Verdict* add(Replay* replay, VerdictKind kind, long long ms, int notice) {
  static Verdict spare;
  Verdict* verdict = replay->count < replay->capacity ? &replay->verdicts[replay->count++] : &spare;
  *verdict = Verdict{};
  verdict->kind = kind;
  verdict->ms = ms;
  verdict->notice = notice;
  verdict->later_ms = NONE;
  return verdict;
}

void schedule_reset(Replay* replay, Verdict* look) {
  look->restarts_reset = replay->reset_pending;
  look->reset_ms = look->ms + ticks(*replay, RESET_DELAY_TICKS);
  replay->reset_pending = true;
  replay->reset_ms = look->reset_ms;
  replay->reset_scheduled_ms = look->reset_ms;
  replay->reset_by = look->notice;
  replay->reset_look = look->look;
  replay->port_removed = false;
  replay->port_arrived = false;
}

void take_notice(Replay* replay, const WatchedEvent& event) {
  if (event.port_class) {
    (event.arrival ? replay->port_arrived : replay->port_removed) = true;
  }
  if (replay->check_pending) {
    Verdict* dropped = add(replay, VERDICT_DROPPED, event.ms, event.number);
    dropped->other_notice = replay->check_by;
    dropped->port_removal = event.port_class && !event.arrival;
    return;
  }
  if (replay->look_pending) {
    add(replay, VERDICT_LOOKS_ENDED, event.ms, event.number)->other_notice = replay->look_by;
    replay->look_pending = false;
  }
  replay->check_pending = true;
  replay->check_by = event.number;
  replay->check_notice_ms = event.ms;
}

// The look's common part: what it reads against the baseline, or that it came too late to know.
Verdict* look_at(Replay* replay, LookKind kind, int notice, long long ms) {
  Verdict* look = add(replay, VERDICT_LOOK, ms, notice);
  look->look = kind;
  look->baseline = replay->baseline;
  if (ms > replay->record->end_ms) {
    look->outcome = LOOK_UNKNOWN;
    return look;
  }
  look->seen = counts_at(*replay->record, ms);
  bool changed = differ(look->seen, replay->baseline);
  look->outcome = changed ? LOOK_CHANGE : LOOK_NO_CHANGE;
  look->by_phase =
      changed && !differ(counts_at(*replay->record, ms - replay->tick_ms), replay->baseline);
  return look;
}

void verify(Replay* replay) {
  long long paused = ticks(*replay, CHECK_DELAY_TICKS);
  replay->check_pending = false;
  // A pending reset resumes where it stopped, unless this verification restarts it.
  replay->reset_ms += paused;
  Verdict* look =
      look_at(replay, LOOK_VERIFICATION, replay->check_by, replay->check_notice_ms + paused);
  if (look->outcome == LOOK_UNKNOWN) {
    return;
  }
  replay->baseline = look->seen;
  if (look->outcome == LOOK_NO_CHANGE && replay->port_removed) {
    look->outcome = LOOK_PORT_REMOVED;
  }
  if (look->outcome != LOOK_NO_CHANGE) {
    schedule_reset(replay, look);
    return;
  }
  replay->look_pending = true;
  replay->next_look = LOOK_SECOND;
  replay->look_by = replay->check_by;
  replay->look_notice_ms = replay->check_notice_ms;
}

long long look_ms(const Replay& replay) {
  return replay.look_notice_ms + ticks(replay, look_delay_ticks(replay.next_look));
}

void look_again(Replay* replay) {
  Verdict* look = look_at(replay, replay->next_look, replay->look_by, look_ms(*replay));
  replay->look_pending = false;
  if (look->outcome == LOOK_CHANGE) {
    replay->baseline = look->seen;
    schedule_reset(replay, look);
  } else if (look->outcome == LOOK_NO_CHANGE && look->look == LOOK_SECOND) {
    replay->look_pending = true;
    replay->next_look = LOOK_LAST;
  } else if (look->outcome == LOOK_NO_CHANGE && replay->port_arrived) {
    look->outcome = LOOK_PORT_ARRIVED;
    schedule_reset(replay, look);
  } else if (look->outcome == LOOK_NO_CHANGE) {
    look->later_ms = first_difference_after(*replay->record, look->ms, replay->baseline);
  }
}

void reset_host(Replay* replay) {
  replay->reset_pending = false;
  Verdict* reset = add(replay, VERDICT_RESET, replay->reset_ms, replay->reset_by);
  reset->look = replay->reset_look;
  reset->reset_ms = replay->reset_scheduled_ms;
}

// Whichever comes first; at the same moment in the plug-in's order: the tick's message check
// delivers the notice, then the verification runs, or else the look and then the reset.
bool step(Replay* replay, int* next_event) {
  const WatchRecord& record = *replay->record;
  long long event = *next_event < record.event_count ? record.events[*next_event].ms : NONE;
  long long check =
      replay->check_pending ? replay->check_notice_ms + ticks(*replay, CHECK_DELAY_TICKS) : NONE;
  long long look = replay->look_pending ? look_ms(*replay) : NONE;
  long long reset = replay->reset_pending && !replay->check_pending ? replay->reset_ms : NONE;
  long long first = earlier(earlier(event, check), earlier(look, reset));
  if (first == NONE) {
    return false;
  }
  if (first == event) {
    take_notice(replay, record.events[(*next_event)++]);
  } else if (first == check) {
    verify(replay);
  } else if (first == look) {
    look_again(replay);
  } else {
    reset_host(replay);
  }
  return true;
}

}  // namespace

int32_t look_delay_ticks(LookKind look) {
  return look == LOOK_VERIFICATION ? CHECK_DELAY_TICKS
         : look == LOOK_SECOND     ? SECOND_LOOK_TICKS
                                   : LAST_LOOK_TICKS;
}

int decide_verdicts(const WatchRecord& record, int32_t tick_ms, Verdict* verdicts, int capacity) {
  Replay replay{};
  replay.record = &record;
  replay.tick_ms = tick_ms;
  replay.verdicts = verdicts;
  replay.capacity = capacity;
  replay.baseline = record.baseline;
  int next_event = 0;
  while (step(&replay, &next_event)) {
  }
  return replay.count;
}
