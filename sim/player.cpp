#include "sim/player.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "sim/device_events.h"
#include "sim/host_double.h"
#include "sim/transcript.h"
#include "sim/world.h"

namespace {

long tick_number;
unsigned midi_inputs;
unsigned midi_outputs;
unsigned device_serial;
// The ticks of the first and the last device events since the previous host command or load, for
// a command to say how long after them it came (which one the plug-in acted on, the host cannot
// see); negative when none was sent.
long first_event_tick;
long last_event_tick;
// A "fail" step waits for the step after it.
ScenarioStep armed_failure;
bool failure_armed;

// What the plug-in does to its host, as the transcript shows it.
void show_host_event(const HostEvent& event) {
  switch (event.kind) {
    case HOST_CONSOLE:
      transcript_add(TRANSCRIPT_CONSOLE, transcript_console_text(event.text));
      break;
    case HOST_COMMAND: {
      char text[160];
      int length = std::snprintf(text, sizeof text, "Main_OnCommand(%d, %d)",
                                 static_cast<int>(event.command), static_cast<int>(event.flag));
      // For the reader of a transcript: the delay that the plug-in's timing rules are about.
      size_t room = sizeof text - static_cast<size_t>(length);
      if (first_event_tick >= 0 && first_event_tick == last_event_tick) {
        std::snprintf(text + length, room, "  %ld ticks after the device event at tick %ld",
                      transcript_tick() - first_event_tick, first_event_tick);
      } else if (first_event_tick >= 0) {
        std::snprintf(text + length, room,
                      "  %ld ticks after the first device event at tick %ld, %ld after the last "
                      "at tick %ld",
                      transcript_tick() - first_event_tick, first_event_tick,
                      transcript_tick() - last_event_tick, last_event_tick);
      }
      first_event_tick = -1;
      last_event_tick = -1;
      transcript_add(TRANSCRIPT_COMMAND, text);
      break;
    }
    case HOST_UNUSED_CALLED:
      transcript_add(TRANSCRIPT_CALL, std::string(event.text) + "()");
      break;
  }
}

void run_ticks(long count) {
  for (long i = 0; i < count; ++i) {
    transcript_set_tick(++tick_number);
    host_call_tick();
    world_after_tick();
  }
}

int32_t call_entry(const std::string& text, HostPluginInfo* info) {
  transcript_open_step(text);
  // The first argument is the plug-in's module as the host knows it; the plug-in never reads it.
  int32_t result = world_entry()(nullptr, info);
  transcript_close_step(" -> " + std::to_string(result));
  return result;
}

int32_t load(const ScenarioStep& step) {
  first_event_tick = -1;
  last_event_tick = -1;
  HostPluginInfo info = *host_record(step.api_version, step.missing_functions);
  if (step.record == RECORD_NULL_GET_FUNCTION) {
    info.get_function = nullptr;
  } else if (step.record == RECORD_NULL_REGISTER_CALLBACK) {
    info.register_callback = nullptr;
  }
  return call_entry(step.text, &info);
}

// A step's line, which says so when there was no window to reach.
void add_step(const std::string& text, bool reached) {
  transcript_add(TRANSCRIPT_STEP, reached ? text : text + " (no window)");
}

void note_device_event() {
  first_event_tick = first_event_tick >= 0 ? first_event_tick : tick_number;
  last_event_tick = tick_number;
}

// The header a notification carries, as the step describes it; its size 0 for none.
DeviceNotice notice_header(const ScenarioStep& step) {
  DeviceNotice notice{};
  if (step.header == NOTIFY_INTERFACE_HEADER) {
    char link[48];
    std::snprintf(link, sizeof link, "\\\\?\\VSIM#MIDI_%s#%u", step.input_port ? "IN" : "OUT",
                  ++device_serial);
    notice = interface_notice(device_class_guid(step.device_class), link);
    put_notice_field(&notice, NOTICE_TYPE_OFFSET, step.device_type);
    // Every byte of the whole header is there; only its size says it ends early, or later.
    if (step.header_size != 0) {
      put_notice_field(&notice, NOTICE_SIZE_OFFSET, step.header_size);
      notice.size = step.header_size < notice.size ? step.header_size : notice.size;
    }
  } else if (step.header == NOTIFY_SHORT_HEADER) {
    notice = short_interface_notice();
  } else if (step.header == NOTIFY_BYTES) {
    notice.size = step.bytes.size();
    std::memcpy(notice.bytes, step.bytes.data(), notice.size);
  }
  return notice;
}

// Queued, the message waits for the plug-in's next message retrieval, which in a scenario is the
// drain at the start of the next tick; sent "now", it is handled before this returns.
bool send_notification(const ScenarioStep& step, intptr_t* answer) {
  DeviceNotice notice = notice_header(step);
  const void* header = notice.size > 0 ? notice.bytes : nullptr;
  bool sent = step.now ? world_send_device_change_now(step.event_code, header, notice.size,
                                                      step.header == NOTIFY_POISONED, answer)
                       : world_send_device_change(step.event_code, header, notice.size);
  if (sent) {
    note_device_event();
  }
  return sent;
}

// The port changes before its notification goes out: the driver publishes the port, then the
// system announces the interface. Returns the step's text with the counts it leaves.
std::string change_ports(const ScenarioStep& step) {
  if (step.kind == STEP_NOTIFY) {
    return step.text;
  }
  if (step.kind == STEP_COUNTS) {
    midi_inputs = step.inputs;
    midi_outputs = step.outputs;
  } else {
    unsigned& ports = step.input_port ? midi_inputs : midi_outputs;
    ports = step.kind == STEP_PLUG ? ports + 1 : ports - 1;
  }
  world_set_midi_counts(midi_inputs, midi_outputs);
  return step.kind == STEP_COUNTS ? step.text
                                  : step.text + ": IN " + std::to_string(midi_inputs) + ", OUT " +
                                        std::to_string(midi_outputs);
}

int64_t play_device_step(const ScenarioStep& step) {
  std::string text = change_ports(step);
  intptr_t answer = 0;
  bool sent = send_notification(step, &answer);
  add_step(sent && step.now ? text + " -> " + std::to_string(answer) : text, sent);
  return answer;
}

// The change during the stall happens at its start, and its notice, if any, is sent the way the
// system sends it: the transcript says when the system gave up on it.
void play_stall(const ScenarioStep& step) {
  std::string text = "stall " + std::to_string(step.stall_ms);
  DeviceNotice notice{};
  uintptr_t event = 0;
  if (!step.during.empty()) {
    const ScenarioStep& during = step.during[0];
    text += " " + change_ports(during);
    if (during.kind != STEP_COUNTS) {
      notice = notice_header(during);
      event = during.event_code;
      note_device_event();
    }
  }
  StallOutcome outcome =
      world_stall(step.stall_ms, event, notice.size > 0 ? notice.bytes : nullptr, notice.size);
  add_step(outcome == STALL_NOTICE_LOST ? text + " (notice lost)" : text,
           outcome != STALL_NO_WINDOW);
}

int64_t play_one(const ScenarioStep& step) {
  switch (step.kind) {
    case STEP_TICK:
      run_ticks(step.ticks);
      return 0;
    case STEP_LOAD:
      return load(step);
    case STEP_UNLOAD:
      // Notifications still waiting for the window are left where they are: the window goes
      // away with them, and nothing retrieves them for it.
      return call_entry(step.text, nullptr);
    case STEP_COUNTS:
      transcript_add(TRANSCRIPT_STEP, change_ports(step));
      return 0;
    case STEP_STALL:
      play_stall(step);
      return 0;
    case STEP_POWER:
      add_step(step.text, world_send_power_event(step.event_code));
      return 0;
    case STEP_PLUG:
    case STEP_UNPLUG:
    case STEP_NOTIFY:
      return play_device_step(step);
    case STEP_MESSAGE:
      add_step(step.text, world_send_message(step.message, step.first,
                                             static_cast<intptr_t>(step.second), step.post));
      return 0;
    case STEP_FAIL:
      break;
  }
  return 0;
}

}  // namespace

void begin_playing() {
  tick_number = 0;
  midi_inputs = 0;
  midi_outputs = 0;
  device_serial = 0;
  first_event_tick = -1;
  last_event_tick = -1;
  failure_armed = false;
  host_reset();
  host_observe(show_host_event);
  transcript_set_tick(0);
  world_set_midi_counts(0, 0);
}

// A failure is armed for the one step after it, and disarmed once that step is over.
int64_t play_step(const ScenarioStep& step) {
  if (step.kind == STEP_FAIL) {
    transcript_add(TRANSCRIPT_STEP, step.text);
    armed_failure = step;
    failure_armed = true;
    return 0;
  }
  bool failing = failure_armed;
  failure_armed = false;
  if (failing) {
    world_fail_call(armed_failure.call.c_str(), armed_failure.nth, armed_failure.error);
  }
  int64_t result = play_one(step);
  if (failing) {
    world_fail_call(armed_failure.call.c_str(), 0, 0);
  }
  return result;
}

void play_scenario(const std::vector<ScenarioStep>& steps) {
  begin_playing();
  for (const ScenarioStep& step : steps) {
    play_step(step);
  }
  // As a host's message loop would before it exits: whatever is still on its way is delivered,
  // so that no sender is left waiting.
  world_pump_messages();
}
