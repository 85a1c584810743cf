// A reference model of the reset monitor, written from its states and transitions rather than
// from the plug-in's code: what a host sees of the plug-in (its countdowns, its baseline counts,
// whether its window exists, the commands it runs) after every tick, device event, count change,
// load and unload. The model test drives it and the real plug-in with the same steps.
#pragma once

#include <cstdint>
#include <deque>

// What the generator may put in one device-change message.
enum class ModelEventKind { ARRIVAL, REMOVAL, OTHER };
enum class ModelHeader { INTERFACE, NONE, WRONG_TYPE, TOO_SHORT };
// The audio classes, the two MIDI port classes, and anything else.
enum class ModelClass { AUDIO, RENDER, CAPTURE, MIDI_IN_PORT, MIDI_OUT_PORT, NOT_AUDIO };

struct ModelEvent {
  ModelEventKind kind;
  ModelHeader header;
  ModelClass interface_class;
};

// One call of the entry point with a record. MISSING_FUNCTIONS names the absent host functions in
// `missing`, one bit per host function in import order.
enum class ModelLoadKind {
  VALID,
  WRONG_VERSION,
  NO_GET_FUNCTION,
  NO_REGISTER_CALLBACK,
  MISSING_FUNCTIONS,
  CLASS_FAILS,
  WINDOW_FAILS,
  NOTIFICATION_FAILS,
};

struct ModelLoad {
  ModelLoadKind kind;
  unsigned missing;
};

// Import order of the host functions, for the bits of ModelLoad::missing.
constexpr int MODEL_HOST_FUNCTIONS = 6;
constexpr int MODEL_SLOT_MAIN_ON_COMMAND = 4;
constexpr int MODEL_SLOT_SHOW_CONSOLE_MSG = 5;

// Every transition the model can take, counted so that a test can prove its random sequences
// reach all of them.
enum ModelTransition : int {
  T_START_SETTLING,
  T_SETTLE_TICK,
  T_SETTLE_ENDS,
  T_EVENT_DROPPED_WHILE_SETTLING,
  T_EVENT_NOT_ARRIVAL_OR_REMOVAL,
  T_EVENT_BAD_HEADER,
  T_EVENT_NOT_AUDIO,
  T_IDLE_TO_CHECKING,
  T_IDLE_TO_RESET_AT_ONCE,
  T_EVENT_DROPPED_WHILE_CHECKING,
  T_CHECK_TICK,
  T_CHECK_FINDS_CHANGE,
  T_CHECK_FINDS_NO_CHANGE,
  T_CHECK_ADOPTS_BASELINE,
  T_RESET_TICK,
  T_RESET_RUNS_COMMAND,
  T_RESET_WITHOUT_COMMAND_SLOT,
  T_RESET_TO_CHECKING_OVER_RESET,
  T_RESET_RESTARTED_AT_ONCE,
  T_PAUSED_RESET_TICK,
  T_EVENT_DROPPED_OVER_RESET,
  T_PAUSED_RESET_RESTARTED,
  T_PAUSED_RESET_RESUMES,
  T_PORT_REMOVAL_RECORDED_WHILE_CHECKING,
  T_CHECK_RESETS_FOR_REMOVED_PORT,
  T_LOOK_TICK,
  T_LOOK_TICK_OVER_RESET,
  T_SECOND_LOOK_NO_CHANGE,
  T_LAST_LOOK_NO_CHANGE,
  T_LOOK_FINDS_CHANGE,
  T_LOOK_RESTARTS_RESET,
  T_LOOK_THEN_DUE_RESET,
  T_NOTICE_ENDS_LOOKS,
  T_LOAD_ACCEPTED,
  T_LOAD_REFUSED_UNREAD,
  T_LOAD_REFUSED_AT_IMPORT,
  T_LOAD_REFUSED_AT_START,
  T_UNLOAD,
  T_TICK_NOT_REGISTERED,
  T_COUNT
};

const char* model_transition_name(ModelTransition transition);

struct ModelState {
  bool verbose;
  bool loaded;  // window, class and notification registration all exist
  bool tick_registered;
  bool host_function_present[MODEL_HOST_FUNCTIONS];
  // A countdown above 0 is the state it names; 0 means that state is not in force.
  int settle_left;
  int check_left;
  int reset_left;
  // A MIDI port went away since the last verification: the next one resets whatever it counts.
  bool port_removed;
  // After a verification that saw no change, two more looks at the counts come at fixed ticks
  // after the notice that scheduled it. Ticks are counted from that notice; no look waits while
  // next_look_at is 0.
  int since_notice;
  int next_look_at;
  int32_t known_in;  // -1 while no count has been read
  int32_t known_out;
  uint32_t machine_in;  // what the machine reports now
  uint32_t machine_out;
  // Device changes sent to the window, waiting for the next tick's drain.
  std::deque<ModelEvent> waiting;
  int commands_run;
  long transitions[T_COUNT];
};

// A module just loaded into a fresh process, on a machine without MIDI devices.
void model_start(ModelState* model, bool verbose);

// The host's periodic call: the window's waiting messages first, then at most one countdown.
void model_tick(ModelState* model);

// A device change sent to the window from outside: it waits for the next drain, and is lost when
// there is no window to receive it.
void model_send_device_change(ModelState* model, const ModelEvent& event);

// The machine's counts change without a notification (the driver publishes a port late, or the
// notification went elsewhere).
void model_set_counts(ModelState* model, uint32_t inputs, uint32_t outputs);

// A device plugged in or pulled out: the count moves, and windows registered for that interface
// class hear of it. The plug-in registers for the audio class and the two MIDI port classes.
void model_plug(ModelState* model, bool input, ModelClass interface_class);
void model_unplug(ModelState* model, bool input, ModelClass interface_class);

// The entry point with a record: returns what the plug-in must return.
int32_t model_load(ModelState* model, const ModelLoad& load);

// The entry point with no record.
int32_t model_unload(ModelState* model);

// Whether a load of this kind gets as far as starting the monitor. The host loads a plug-in only
// once, so the test never sends such a load to a plug-in that is already loaded.
bool model_load_reaches_start(const ModelLoad& load);
