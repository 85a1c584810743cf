#include "sim/player.h"

#include <cstdio>
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
// The ticks of the first and the last device events sent since the previous host command or load,
// so that a command can say how long after them it came; negative when none was sent. Which of
// them the plug-in acted on, the host cannot see.
long first_event_tick;
long last_event_tick;

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

void call_entry(const std::string& text, HostPluginInfo* info) {
  transcript_open_step(text);
  // The first argument is the plug-in's module as the host knows it; the plug-in never reads it.
  int32_t result = world_entry()(nullptr, info);
  transcript_close_step(" -> " + std::to_string(result));
}

std::string counts_text() {
  return "IN " + std::to_string(midi_inputs) + ", OUT " + std::to_string(midi_outputs);
}

// The message is only queued here: the plug-in meets it when its thread next retrieves
// messages, which in a scenario is the drain at the start of the next tick.
bool send_notification(const ScenarioStep& step) {
  DeviceNotice notice{};
  const void* header = nullptr;
  if (step.header == NOTIFY_INTERFACE_HEADER) {
    char link[48];
    std::snprintf(link, sizeof link, "\\\\?\\VSIM#MIDI_%s#%u", step.input_port ? "IN" : "OUT",
                  ++device_serial);
    notice = interface_notice(device_class_guid(step.device_class), link);
    header = notice.bytes;
  } else if (step.header == NOTIFY_SHORT_HEADER) {
    notice = short_interface_notice();
    header = notice.bytes;
  }
  bool sent = world_send_device_change(step.event_code, header, notice.size);
  if (sent) {
    first_event_tick = first_event_tick >= 0 ? first_event_tick : tick_number;
    last_event_tick = tick_number;
  }
  return sent;
}

// The port changes before its notification goes out: the driver publishes the port, then the
// system announces the interface.
void play_device_step(const ScenarioStep& step) {
  std::string text = step.text;
  if (step.kind != STEP_NOTIFY) {
    unsigned& ports = step.input_port ? midi_inputs : midi_outputs;
    ports = step.kind == STEP_PLUG ? ports + 1 : ports - 1;
    world_set_midi_counts(midi_inputs, midi_outputs);
    text += ": " + counts_text();
  }
  if (!send_notification(step)) {
    text += " (no window)";
  }
  transcript_add(TRANSCRIPT_STEP, text);
}

void play_step(const ScenarioStep& step) {
  switch (step.kind) {
    case STEP_TICK:
      run_ticks(step.ticks);
      break;
    case STEP_LOAD:
      first_event_tick = -1;
      last_event_tick = -1;
      call_entry(step.text,
                 host_record(step.api_version, host_import_bit(step.missing_function.c_str())));
      break;
    case STEP_UNLOAD:
      // Notifications still waiting for the window are left where they are: the window goes
      // away with them, and nothing retrieves them for it.
      call_entry(step.text, nullptr);
      break;
    case STEP_COUNTS:
      midi_inputs = step.inputs;
      midi_outputs = step.outputs;
      world_set_midi_counts(midi_inputs, midi_outputs);
      transcript_add(TRANSCRIPT_STEP, step.text);
      break;
    case STEP_PLUG:
    case STEP_UNPLUG:
    case STEP_NOTIFY:
      play_device_step(step);
      break;
  }
}

}  // namespace

void play_scenario(const std::vector<ScenarioStep>& steps) {
  tick_number = 0;
  midi_inputs = 0;
  midi_outputs = 0;
  device_serial = 0;
  first_event_tick = -1;
  last_event_tick = -1;
  host_reset();
  host_observe(show_host_event);
  transcript_set_tick(0);
  world_set_midi_counts(0, 0);
  for (const ScenarioStep& step : steps) {
    play_step(step);
  }
  // As a host's message loop would before it exits: whatever is still on its way is delivered,
  // so that no sender is left waiting.
  world_pump_messages();
}
