#include "probe/watch_verdict.h"

#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "monitor/tick_delays.h"
#include "monitor/timer_tick.h"
#include "probe/replay_platform.h"

// The plug-in's own rules run on what was seen: its tick at the host's period, from the first
// notice on, its notice handling for every notice and resume, delivered between ticks, and its
// count reads answered from the record. What the monitor does in each step is read off its state
// before and after, and named here as a verdict.
//
// A step k ticks after a notice thus runs on the k-th tick after it, between k - 1 and k ticks
// after it as the host's tick falls: a look that sees a change a look one tick earlier would not
// is marked. Settling after load is not replayed: the plug-in is taken as loaded long before.
// Nor is the diagnostic variant's check on the notice itself, nor a stall of the host's thread,
// which the probe cannot see.

namespace {

constexpr long long NONE = -1;

struct Replay {
  const WatchRecord* record;
  long long tick_ms;
  Verdict* verdicts;
  int capacity;
  int count;
  // The notice whose verification, looks and reset are under way.
  int check_by;
  int look_by;
  int reset_by;
  LookKind reset_look;
  long long reset_due_ms;
  bool commanded;
};

Replay replay;

// The host's reset command, as the plug-in runs it.
void record_command(int32_t /*command*/, int32_t /*flag*/) {
  replay.commanded = true;
}

bool differ(PortCounts first, PortCounts second) {
  return first.inputs != second.inputs || first.outputs != second.outputs;
}

PortCounts baseline() {
  return PortCounts{static_cast<uint32_t>(monitor_state.last_in_count),
                    static_cast<uint32_t>(monitor_state.last_out_count)};
}

// Beyond the capacity a verdict is still decided, in a spare, and not kept.
Verdict* add(VerdictKind kind, long long ms, int notice) {
  static Verdict spare;
  Verdict* verdict = replay.count < replay.capacity ? &replay.verdicts[replay.count++] : &spare;
  *verdict = Verdict{};
  verdict->kind = kind;
  verdict->ms = ms;
  verdict->notice = notice;
  verdict->later_ms = NONE;
  return verdict;
}

// A loaded plug-in, long settled on the record's baseline, whose window exists.
void start_monitor(const WatchRecord& record) {
  monitor_state = MONITOR_STATE_AT_LOAD;
  monitor_state.last_in_count = static_cast<int32_t>(record.baseline.inputs);
  monitor_state.last_out_count = static_cast<int32_t>(record.baseline.outputs);
  monitor_state.notify_window = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));
  monitor_state.host_functions[SLOT_MAIN_ON_COMMAND] = reinterpret_cast<void*>(&record_command);
}

void deliver(const WatchedEvent& event) {
  bool checking = monitor_state.check_pending;
  bool looking = monitor_state.look_pending;
  if (event.resume) {
    on_power_broadcast(PBT_APMRESUMEAUTOMATIC);
  } else {
    DEV_BROADCAST_DEVICEINTERFACE_A header = {};
    header.dbcc_size = sizeof header;
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = event.port_class ? MIDI_INPUT_PORT_INTERFACE : KSCATEGORY_AUDIO;
    on_device_change(DeviceChangeEvent{
        static_cast<WPARAM>(event.arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE),
        reinterpret_cast<const DEV_BROADCAST_HDR*>(&header)});
  }
  if (checking) {
    Verdict* dropped = add(VERDICT_DROPPED, event.ms, event.number);
    dropped->other_notice = replay.check_by;
    dropped->port_removal = event.port_class && !event.arrival;
    dropped->resume = event.resume;
    return;
  }
  if (looking) {
    add(VERDICT_LOOKS_ENDED, event.ms, event.number)->other_notice = replay.look_by;
  }
  replay.check_by = event.number;
}

// The first time after `from` that the counts differ from `counts`, or NONE.
long long first_difference_after(long long from, PortCounts counts) {
  const WatchRecord& record = *replay.record;
  for (int i = 0; i < record.change_count; ++i) {
    if (record.changes[i].ms > from && differ(record.changes[i].counts, counts)) {
      return record.changes[i].ms;
    }
  }
  return NONE;
}

// A look the tick at `ms` makes, which has just run, from the state before it.
void name_look(LookKind kind, int notice, long long ms, const MonitorState& before) {
  Verdict* look = add(VERDICT_LOOK, ms, notice);
  look->look = kind;
  look->baseline = PortCounts{static_cast<uint32_t>(before.last_in_count),
                              static_cast<uint32_t>(before.last_out_count)};
  look->seen = replay_counts_at(ms);
  bool changed = differ(look->seen, look->baseline);
  bool scheduled = monitor_state.reset_pending &&
                   monitor_state.reset_ticks_left == RESET_DELAY_TICKS &&
                   !monitor_state.check_pending && !monitor_state.look_pending;
  look->outcome = !scheduled            ? LOOK_NO_CHANGE
                  : changed             ? LOOK_CHANGE
                  : before.port_removed ? LOOK_PORT_REMOVED
                  : before.resumed      ? LOOK_RESUMED
                                        : LOOK_PORT_ARRIVED;
  look->by_phase = changed && !differ(replay_counts_at(ms - replay.tick_ms), look->baseline);
  if (scheduled) {
    look->restarts_reset = before.reset_pending;
    look->reset_ms = ms + RESET_DELAY_TICKS * replay.tick_ms;
    replay.reset_by = notice;
    replay.reset_look = kind;
    replay.reset_due_ms = look->reset_ms;
  } else if (kind == LOOK_VERIFICATION) {
    replay.look_by = notice;
  } else if (kind == LOOK_LAST) {
    look->later_ms = first_difference_after(ms, baseline());
  }
}

// A look the watch ended before is not known, and ends its series.
bool unknown_after_the_watch(long long ms) {
  bool verifying = monitor_state.check_pending && monitor_state.check_ticks_left == 1;
  bool looking = !monitor_state.check_pending && monitor_state.look_pending &&
                 monitor_state.look_ticks_left == 1;
  if (ms <= replay.record->end_ms || !(verifying || looking)) {
    return false;
  }
  LookKind kind = verifying ? LOOK_VERIFICATION : monitor_state.last_look ? LOOK_LAST : LOOK_SECOND;
  Verdict* look = add(VERDICT_LOOK, ms, verifying ? replay.check_by : replay.look_by);
  look->look = kind;
  look->outcome = LOOK_UNKNOWN;
  if (verifying) {
    monitor_state.check_pending = false;
    monitor_state.check_ticks_left = 0;
  } else {
    end_looks();
  }
  return true;
}

void tick(long long ms) {
  replay_platform_set_time(ms);
  unknown_after_the_watch(ms);
  MonitorState before = monitor_state;
  replay.commanded = false;
  on_timer_tick();
  if (before.check_pending && before.check_ticks_left == 1) {
    name_look(LOOK_VERIFICATION, replay.check_by, ms, before);
  } else if (!before.check_pending && before.look_pending && before.look_ticks_left == 1) {
    name_look(before.last_look ? LOOK_LAST : LOOK_SECOND, replay.look_by, ms, before);
  }
  if (replay.commanded) {
    Verdict* reset = add(VERDICT_RESET, ms, replay.reset_by);
    reset->look = replay.reset_look;
    reset->reset_ms = replay.reset_due_ms;
  }
}

bool busy() {
  return monitor_state.check_pending || monitor_state.look_pending || monitor_state.reset_pending;
}

}  // namespace

int32_t look_delay_ticks(LookKind look) {
  return look == LOOK_VERIFICATION ? CHECK_DELAY_TICKS
         : look == LOOK_SECOND     ? SECOND_LOOK_TICKS
                                   : LAST_LOOK_TICKS;
}

int decide_verdicts(const WatchRecord& record, int32_t tick_ms, Verdict* verdicts, int capacity) {
  replay = Replay{&record, tick_ms, verdicts, capacity, 0, 0, 0, 0, LOOK_VERIFICATION, 0, false};
  if (record.event_count == 0) {
    return 0;
  }
  replay_platform_start(&record);
  start_monitor(record);
  int next = 0;
  // A notice on a tick's time comes after that tick's message check, as the latest it can.
  for (long long ms = record.events[0].ms + tick_ms; next < record.event_count || busy();
       ms += tick_ms) {
    for (; next < record.event_count && record.events[next].ms < ms; ++next) {
      deliver(record.events[next]);
    }
    tick(ms);
  }
  return replay.count;
}
