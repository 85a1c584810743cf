// What the plug-in would have made of a watch: its timing replayed on the notices and count
// changes the probe saw, decided here as a list of steps, which the report then words.
#pragma once

#include <cstdint>

#include "probe/watch_record.h"

enum VerdictKind {
  VERDICT_DROPPED,      // a notice or resume while a verification is pending
  VERDICT_LOOKS_ENDED,  // an accepted notice while the looks after an earlier one wait
  VERDICT_LOOK,         // a verification, a second or a last look
  VERDICT_RESET,        // the host's reset command
};

enum LookKind { LOOK_VERIFICATION, LOOK_SECOND, LOOK_LAST };

enum LookOutcome {
  LOOK_CHANGE,        // the counts differ from the baseline: a reset
  LOOK_PORT_REMOVED,  // the counts as before, but a MIDI port was removed: a reset
  LOOK_PORT_ARRIVED,  // a last look, the counts as before, but a MIDI port arrived: a reset
  LOOK_RESUMED,       // the counts as before, but the machine resumed from sleep: a reset
  LOOK_NO_CHANGE,
  LOOK_UNKNOWN,  // after the end of the watch
};

struct Verdict {
  long long ms;        // when it happens
  long long reset_ms;  // a look: the reset it schedules; a reset: when it was scheduled for
  long long later_ms;  // a last look that sees no change: when the counts differ later, or -1
  VerdictKind kind;
  // The notice of the line; for a look or a reset, the one whose verification began its series.
  int notice;
  int other_notice;  // dropped: the notice whose verification is pending; looks ended: whose looks
  LookKind look;     // a look; a reset: the look that scheduled it
  LookOutcome outcome;
  PortCounts seen;
  PortCounts baseline;
  // Dropped: a MIDI port removal or a resume, which the verification still learns of.
  bool port_removal;
  bool resume;
  // A look that sees a change which a look up to one tick earlier would not: the tick's phase
  // against the notice decides.
  bool by_phase;
  bool restarts_reset;  // a look: a reset was pending, and now comes later
};

// Each notice gives at most a dropped or looks-ended line, three looks and a reset.
constexpr int MAX_VERDICTS = 5 * MAX_WATCHED_EVENTS;

// The ticks from the notice to a look of that kind.
int32_t look_delay_ticks(LookKind look);

// The verdicts in the order they happen, at most `capacity` of them; returns how many. The
// plug-in's own rules decide them, its tick run on the record at `tick_ms`, which is at most
// 500 ms: the replay's clock moves a tick a tick, and a period of a second would be a stall every
// time. The plug-in is taken as loaded long before, idle, with the record's baseline.
int decide_verdicts(const WatchRecord& record, int32_t tick_ms, Verdict* verdicts, int capacity);
