// A reference model of the reset monitor, written from its states and transitions rather than
// from the plug-in's code: what a host sees of the plug-in (its countdowns, its baseline counts,
// whether its window exists, the commands it runs) after every step of a session. It takes the
// steps scenarios are made of; the model test and the fuzzer play each on the model and on the
// plug-in, and compare.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "sim/scenario.h"

// Import order of the host functions.
constexpr int MODEL_HOST_FUNCTIONS = 6;
constexpr int MODEL_SLOT_MAIN_ON_COMMAND = 4;
constexpr int MODEL_SLOT_SHOW_CONSOLE_MSG = 5;

// Every transition the model can take, counted so that a test can prove its random sessions
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
  T_NOTICE_FROM_THE_WINDOWS_THREAD,
  T_LOAD_ACCEPTED,
  T_LOAD_WITHOUT_A_PORT_CLASS,
  T_LOAD_REFUSED_UNREAD,
  T_LOAD_REFUSED_AT_IMPORT,
  T_LOAD_REFUSED_AT_START,
  T_UNLOAD,
  T_TICK_NOT_REGISTERED,
  T_COUNT
};

const char* model_transition_name(ModelTransition transition);

// A notice as far as the rules care: its event, and what its header announces.
enum class Announced { NOTHING_READABLE, AUDIO_CLASS, PORT_CLASS, OTHER_CLASS };

struct ModelNotice {
  uint64_t event;
  Announced announced;
};

struct ModelState {
  bool verbose;
  bool loaded;  // window, class and the audio-class registration all exist
  int registrations;
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
  // Notices sent to the window, waiting for the next tick's drain.
  std::deque<ModelNotice> waiting;
  int commands_run;
  // A failed call waiting for the step after it.
  bool failure_armed;
  ScenarioStep failure;
  long transitions[T_COUNT];
};

// A module just loaded into a fresh process, on a machine without MIDI devices.
void model_start(ModelState* model, bool verbose);

// Whether the model can say what this step does from this state. A host loads a plug-in once, so
// a load of a loaded plug-in is outside its contract; and of the simulated calls that may be
// failed, the model knows those a load makes, in the order it makes them.
bool model_predicts(const ModelState& model, const ScenarioStep& step);

// Plays one step; returns what the plug-in must answer it: the entry point's result for a load or
// an unload, the window procedure's for a notice sent from the window's thread, 0 otherwise.
int64_t model_step(ModelState* model, const ScenarioStep& step);
