#include "probe/device_watch.h"

#include <cstdio>

#include "monitor/tick_delays.h"
#include "probe/device_event.h"
#include "probe/midi_ports.h"
#include "probe/probe_output.h"
#include "probe/verdict_text.h"
#include "probe/watch_record.h"
#include "probe/watch_verdict.h"

namespace {

// A watch lasts until the plug-in would be idle again: until the reset after the last look, 100
// ticks after the last accepted notice, and a margin for the tick's phase and the polling, so that
// a change after the last look shows. And at least 5 s, long enough for the MIDI service's quiet
// period at its longest (2.5 s) and the port notices after it.
constexpr long long MIN_WATCH_MS = 5000;
constexpr long long WATCH_MARGIN_MS = 1000;
constexpr long long POLL_MS = 10;

int32_t verdict_tick_ms = 0;
long long watch_ms = MIN_WATCH_MS;
int event_number = 0;
// The last ports read, by anyone: a change is a difference from these.
MidiPorts last_ports;
MidiPorts new_ports;

bool watching = false;
long long next_poll_ms = 0;
WatchRecord record;
Verdict verdicts[MAX_VERDICTS];

void open_watch() {
  watching = true;
  record = WatchRecord{};
  record.baseline = PortCounts{last_ports.inputs, last_ports.outputs};
}

void note_event(const WatchedEvent& event) {
  if (!watching) {
    open_watch();
  }
  record.end_ms = event.ms + watch_ms;
  next_poll_ms = event.ms + POLL_MS;
  if (record.event_count < MAX_WATCHED_EVENTS) {
    record.events[record.event_count++] = event;
  }
}

// The delays since the accepted notices of the open watch, as "312 ms after #1, 12 ms after #3".
void delays_since_events(long long ms, char* out, size_t out_size) {
  size_t used = 0;
  out[0] = '\0';
  for (int i = 0; watching && i < record.event_count && used < out_size; ++i) {
    int written =
        std::snprintf(out + used, out_size - used, "%s%lld ms after #%d", i == 0 ? "" : ", ",
                      ms - record.events[i].ms, record.events[i].number);
    used += written > 0 ? static_cast<size_t>(written) : 0;
  }
  if (out[0] == '\0') {
    (void)std::snprintf(out, out_size, "no accepted notice watched");
  }
}

// Names are read only when a count moved: listing them takes far longer than counting.
void observe_counts(long long ms, UINT inputs, UINT outputs) {
  if (inputs == last_ports.inputs && outputs == last_ports.outputs) {
    return;
  }
  read_midi_ports(&new_ports);
  char delays[256];
  delays_since_events(ms, delays, sizeof delays);
  probe_timed_line(ms, "change   in %u -> %u, out %u -> %u  (%s)", last_ports.inputs,
                   new_ports.inputs, last_ports.outputs, new_ports.outputs, delays);
  print_port_changes(ms, last_ports, new_ports);
  last_ports = new_ports;
  if (watching && record.change_count < MAX_WATCHED_CHANGES) {
    record.changes[record.change_count++] =
        CountChange{ms, PortCounts{last_ports.inputs, last_ports.outputs}};
  }
}

void close_watch(long long ms) {
  if (!watching) {
    return;
  }
  record.end_ms = ms < record.end_ms ? ms : record.end_ms;
  watching = false;
  int count = decide_verdicts(record, verdict_tick_ms, verdicts, MAX_VERDICTS);
  char text[512];
  for (int i = 0; i < count; ++i) {
    verdict_text(verdicts[i], text, sizeof text);
    probe_timed_line(record.end_ms, "verdict  %s", text);
  }
  verdict_summary(verdicts, count, verdict_tick_ms, text, sizeof text);
  probe_timed_line(record.end_ms, "verdict: %s", text);
}

}  // namespace

long long watch_length_ms(int32_t tick_ms) {
  long long until_idle =
      static_cast<long long>(LAST_LOOK_TICKS + RESET_DELAY_TICKS) * tick_ms + WATCH_MARGIN_MS;
  return until_idle > MIN_WATCH_MS ? until_idle : MIN_WATCH_MS;
}

void start_device_watch(int32_t tick_ms) {
  verdict_tick_ms = tick_ms;
  watch_ms = watch_length_ms(tick_ms);
  read_midi_ports(&last_ports);
  probe_line("MIDI ports at start: in %u, out %u", last_ports.inputs, last_ports.outputs);
  print_midi_ports(last_ports);
}

void on_probe_device_change(WPARAM code, LPARAM parameter) {
  long long ms = probe_ms();
  DeviceEvent event;
  describe_device_event(code, parameter, &event);
  UINT inputs = 0;
  UINT outputs = 0;
  read_port_counts(&inputs, &outputs);
  int number = ++event_number;
  if (event.accepted) {
    note_event(
        WatchedEvent{number, ms, event.header == HEADER_MIDI_PORT_CLASS, event.arrival, false});
  }
  probe_timed_line(ms, "#%d %s  %s  %s  in %u, out %u  %s", number, event.event_name,
                   event.class_name, event.outcome, inputs, outputs, event.path);
  observe_counts(ms, inputs, outputs);
}

// Whether a message-only window hears the resume at all is not documented: a line a power event
// shows it, on the machine where it matters. The automatic resume, which the plug-in verifies as a
// notice, is watched as one.
void on_probe_power_event(WPARAM event) {
  long long ms = probe_ms();
  int number = ++event_number;
  const char* name = event == PBT_APMSUSPEND             ? "suspend"
                     : event == PBT_APMRESUMEAUTOMATIC   ? "automatic resume  accepted"
                     : event == PBT_APMRESUMESUSPEND     ? "resume by the user"
                     : event == PBT_APMPOWERSTATUSCHANGE ? "power status change"
                                                         : nullptr;
  if (name != nullptr) {
    probe_timed_line(ms, "#%d power  %s", number, name);
  } else {
    probe_timed_line(ms, "#%d power  event 0x%X", number, static_cast<unsigned>(event));
  }
  if (event == PBT_APMRESUMEAUTOMATIC) {
    note_event(WatchedEvent{number, ms, false, false, true});
  }
}

long long next_device_poll_ms() {
  return watching ? next_poll_ms : -1;
}

void poll_device_watch(long long now_ms) {
  if (!watching || now_ms < next_poll_ms) {
    return;
  }
  UINT inputs = 0;
  UINT outputs = 0;
  read_port_counts(&inputs, &outputs);
  observe_counts(now_ms, inputs, outputs);
  // From now, not from the time the poll was due: a loop that fell behind does not catch up
  // with a burst of reads.
  next_poll_ms = now_ms + POLL_MS;
  if (now_ms >= record.end_ms) {
    close_watch(now_ms);
  }
}

void end_device_watch(long long now_ms) {
  if (watching) {
    probe_timed_line(now_ms, "the run ends %lld ms into the watch", now_ms - record.events[0].ms);
  }
  close_watch(now_ms);
}
