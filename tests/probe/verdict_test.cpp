// The probe's verdict, decided and worded natively: the plug-in's own rules run on timelines of
// notices and count changes, at a tick of 10 ms from the first notice on (verification at 50 ms,
// looks at 180 and 800 ms, the reset 200 ms after the look that sees a change).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probe/verdict_text.h"
#include "probe/watch_verdict.h"

namespace {

constexpr int32_t TICK_MS = 10;
constexpr bool ARRIVAL = true;
constexpr bool REMOVAL = false;

WatchedEvent audio(int number, long long ms, bool arrival) {
  return WatchedEvent{number, ms, false, arrival, false};
}

WatchedEvent port(int number, long long ms, bool arrival) {
  return WatchedEvent{number, ms, true, arrival, false};
}

WatchedEvent resume(int number, long long ms) {
  return WatchedEvent{number, ms, false, false, true};
}

// The lines that recur, as the verdict words them: a look of notice #number at `ms`, the
// verification 5 ticks after the notice, the second look 18 and the last 80, reading the counts
// as they were or moved from the baseline; and the summary.
std::string look(int number, const char* which, int ticks, long long ms,
                 const std::string& reading) {
  return "#" + std::to_string(number) + ": its " + which + " at " + std::to_string(ms) + " ms, " +
         std::to_string(ticks) + " ticks after it, reads " + reading;
}

std::string verification(int number, long long ms, const std::string& reading) {
  return look(number, "verification", 5, ms, reading);
}

std::string second_look(int number, long long ms, const std::string& reading) {
  return look(number, "second look", 18, ms, reading);
}

std::string last_look(int number, long long ms, const std::string& reading) {
  return look(number, "last look", 80, ms, reading);
}

std::string sees(const char* counts, const char* baseline, const char* then) {
  return std::string(counts) + " where there were " + baseline + ": it sees the change" + then;
}

std::string resets_once(const char* when) {
  return std::string("at a tick of 10 ms the plug-in would reset the host once, ") + when;
}

const char NO_RESET[] = "at a tick of 10 ms the plug-in would not reset the host";

struct Timeline {
  const char* name;
  PortCounts baseline;
  std::vector<WatchedEvent> events;
  std::vector<CountChange> changes;
  std::vector<std::string> verdicts;  // every line, the overall one last
  long long end_ms = 10000;           // how far the counts were watched
};

const Timeline TIMELINES[] = {
    {"a MIDI port removal with equal counts, dropped behind an audio removal, resets",
     {1, 1},
     {audio(1, 1000, REMOVAL), port(2, 1010, REMOVAL)},
     {},
     {"#2 at 1010 ms: dropped, the verification of #1 is pending (the port removal is remembered)",
      verification(1, 1050, "in 1, out 1 as before, but a MIDI port was removed: reset at 1250 ms"),
      "reset of the host at 1250 ms, after the verification of #1",
      resets_once("at 1250 ms, after the verification of #1")}},
    {"a MIDI port arrival alone, with the counts unchanged, resets after the last look",
     {1, 1},
     {port(1, 1000, ARRIVAL)},
     {},
     {verification(1, 1050, "in 1, out 1 as before: a second look follows"),
      second_look(1, 1180, "in 1, out 1 as before: a last look follows"),
      last_look(1, 1800, "in 1, out 1 as before, but a MIDI port arrived: reset at 2000 ms"),
      "reset of the host at 2000 ms, after the last look of #1",
      resets_once("at 2000 ms, after the last look of #1")}},
    {"a removal is forgotten once its verification resets: a later notice brings no second reset",
     {1, 1},
     {port(1, 1000, REMOVAL), audio(2, 2000, ARRIVAL)},
     {},
     {verification(1, 1050, "in 1, out 1 as before, but a MIDI port was removed: reset at 1250 ms"),
      "reset of the host at 1250 ms, after the verification of #1",
      verification(2, 2050, "in 1, out 1 as before: a second look follows"),
      second_look(2, 2180, "in 1, out 1 as before: a last look follows"),
      last_look(2, 2800, "in 1, out 1 as before: no reset"),
      resets_once("at 1250 ms, after the verification of #1")}},
    {"the verification sees the change",
     {0, 0},
     {audio(1, 1000, ARRIVAL), port(2, 1040, ARRIVAL)},
     {{1030, {1, 1}}},
     {"#2 at 1040 ms: dropped, the verification of #1 is pending",
      verification(1, 1050, sees("in 1, out 1", "in 0, out 0", "; reset at 1250 ms")),
      "reset of the host at 1250 ms, after the verification of #1",
      resets_once("at 1250 ms, after the verification of #1")}},
    {"the second look sees the change, 18 ticks after the notice",
     {0, 0},
     {audio(1, 1000, ARRIVAL)},
     {{1100, {1, 1}}},
     {verification(1, 1050, "in 0, out 0 as before: a second look follows"),
      second_look(1, 1180, sees("in 1, out 1", "in 0, out 0", "; reset at 1380 ms")),
      "reset of the host at 1380 ms, after the second look of #1",
      resets_once("at 1380 ms, after the second look of #1")}},
    {"the last look sees a change less than a tick old, 80 ticks after the notice",
     {0, 0},
     {audio(1, 1000, ARRIVAL)},
     {{1795, {1, 1}}},
     {verification(1, 1050, "in 0, out 0 as before: a second look follows"),
      second_look(1, 1180, "in 0, out 0 as before: a last look follows"),
      last_look(1, 1800,
                sees("in 1, out 1", "in 0, out 0",
                     " (less than a tick old: seen only if the host's tick falls after it); reset "
                     "at 2000 ms")),
      "reset of the host at 2000 ms, after the last look of #1",
      resets_once("at 2000 ms, after the last look of #1")}},
    {"a change later than the last look is seen by none",
     {0, 0},
     {audio(1, 1000, ARRIVAL)},
     {{1900, {1, 1}}},
     {verification(1, 1050, "in 0, out 0 as before: a second look follows"),
      second_look(1, 1180, "in 0, out 0 as before: a last look follows"),
      last_look(1, 1800,
                "in 0, out 0 as before: no reset; the counts change at 1900 ms, after this last "
                "look: only a later notice brings a look that sees it"),
      NO_RESET}},
    {"a verification pauses a pending reset, and a notice ends the waiting looks",
     {0, 0},
     {audio(1, 1000, ARRIVAL), audio(2, 1100, ARRIVAL), audio(3, 1400, ARRIVAL)},
     {{1030, {1, 1}}},
     {verification(1, 1050, sees("in 1, out 1", "in 0, out 0", "; reset at 1250 ms")),
      verification(2, 1150, "in 1, out 1 as before: a second look follows"),
      second_look(2, 1280, "in 1, out 1 as before: a last look follows"),
      "reset of the host at 1300 ms, after the verification of #1, paused 50 ms by a verification",
      "#3 at 1400 ms: the looks after #2 end; its own verification follows",
      verification(3, 1450, "in 1, out 1 as before: a second look follows"),
      second_look(3, 1580, "in 1, out 1 as before: a last look follows"),
      last_look(3, 2200, "in 1, out 1 as before: no reset"),
      resets_once("at 1300 ms, after the verification of #1")}},
    {"a change less than a tick old is seen by the verification",
     {0, 0},
     {audio(1, 1000, ARRIVAL)},
     {{1050, {1, 1}}},
     {verification(1, 1050,
                   sees("in 1, out 1", "in 0, out 0",
                        " (less than a tick old: seen only if the host's tick falls after it); "
                        "reset at 1250 ms")),
      "reset of the host at 1250 ms, after the verification of #1",
      resets_once("at 1250 ms, after the verification of #1")}},
    {"a second change seen by a later verification restarts the pending reset",
     {0, 0},
     {audio(1, 1000, ARRIVAL), audio(2, 1100, ARRIVAL)},
     {{1030, {1, 1}}, {1120, {2, 2}}},
     {verification(1, 1050, sees("in 1, out 1", "in 0, out 0", "; reset at 1250 ms")),
      verification(
          2, 1150,
          sees("in 2, out 2", "in 1, out 1", "; reset at 1350 ms, restarting the pending one")),
      "reset of the host at 1350 ms, after the verification of #2",
      resets_once("at 1350 ms, after the verification of #2")}},
    {"a look after the end of the watch is unknown",
     {0, 0},
     {audio(1, 1000, ARRIVAL)},
     {},
     {verification(1, 1050, "in 0, out 0 as before: a second look follows"),
      second_look(1, 1180, "in 0, out 0 as before: a last look follows"),
      "#1: its last look at 1800 ms, 80 ticks after it, falls after the end of the watch: unknown",
      NO_RESET},
     1180},
    {"a notice late in a reset's countdown pauses it",
     {0, 0},
     {audio(1, 1000, ARRIVAL), audio(2, 1220, ARRIVAL)},
     {{1030, {1, 1}}},
     {verification(1, 1050, sees("in 1, out 1", "in 0, out 0", "; reset at 1250 ms")),
      verification(2, 1270, "in 1, out 1 as before: a second look follows"),
      "reset of the host at 1300 ms, after the verification of #1, paused 50 ms by a verification",
      second_look(2, 1400, "in 1, out 1 as before: a last look follows"),
      last_look(2, 2020, "in 1, out 1 as before: no reset"),
      resets_once("at 1300 ms, after the verification of #1")}},
    {"the looks of a notice end with the next one's",
     {0, 0},
     {audio(1, 1000, ARRIVAL), audio(2, 1100, ARRIVAL)},
     {{1120, {1, 1}}},
     {verification(1, 1050, "in 0, out 0 as before: a second look follows"),
      "#2 at 1100 ms: the looks after #1 end; its own verification follows",
      verification(2, 1150, sees("in 1, out 1", "in 0, out 0", "; reset at 1350 ms")),
      "reset of the host at 1350 ms, after the verification of #2",
      resets_once("at 1350 ms, after the verification of #2")}},
    {"a resume from sleep resets at its verification",
     {1, 1},
     {resume(1, 1000), audio(2, 1010, ARRIVAL)},
     {},
     {"#2 at 1010 ms: dropped, the verification of #1 is pending",
      verification(1, 1050,
                   "in 1, out 1 as before, but the machine resumed from sleep: reset at 1250 ms"),
      "reset of the host at 1250 ms, after the verification of #1",
      resets_once("at 1250 ms, after the verification of #1")}},
};

std::vector<std::string> verdict_lines(const Timeline& timeline) {
  WatchRecord record{};
  record.baseline = timeline.baseline;
  for (const WatchedEvent& event : timeline.events) {
    record.events[record.event_count++] = event;
  }
  for (const CountChange& change : timeline.changes) {
    record.changes[record.change_count++] = change;
  }
  record.end_ms = timeline.end_ms;
  Verdict verdicts[MAX_VERDICTS];
  int count = decide_verdicts(record, TICK_MS, verdicts, MAX_VERDICTS);
  std::vector<std::string> lines;
  char text[512];
  for (int i = 0; i < count; ++i) {
    verdict_text(verdicts[i], text, sizeof text);
    lines.emplace_back(text);
  }
  verdict_summary(verdicts, count, TICK_MS, text, sizeof text);
  lines.emplace_back(text);
  return lines;
}

}  // namespace

TEST(ProbeVerdict, ReplaysThePluginsTimingOnEachTimeline) {
  for (const Timeline& timeline : TIMELINES) {
    EXPECT_EQ(verdict_lines(timeline), timeline.verdicts) << timeline.name;
  }
}
