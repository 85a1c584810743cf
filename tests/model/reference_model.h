// A reference model of the reset monitor, written from its states and transitions rather than
// from the plug-in's code: what a host sees of the plug-in (its countdowns, its baseline counts,
// whether its window exists, the commands it runs) after every scenario step of a session.
#pragma once

#include <cstdint>
#include <deque>

#include "sim/notice_headers.h"
#include "sim/scenario.h"

// Import order of the host functions.
constexpr int MODEL_HOST_FUNCTIONS = 6;
constexpr int MODEL_SLOT_MAIN_ON_COMMAND = 4;
constexpr int MODEL_SLOT_SHOW_CONSOLE_MSG = 5;

// The host's tick period as the host double keeps it, a gap between ticks that counts as a stall,
// and how long the system waits for a receiver to take a notice before it drops it.
constexpr long MODEL_TICK_MS = 33;
constexpr long MODEL_STALL_MS = 1000;
constexpr long MODEL_SEND_TIMEOUT_MS = 2000;

// Ticks from an accepted notice to its verification, and to its second and last looks.
constexpr int MODEL_CHECK_TICKS = 5;
constexpr int MODEL_SECOND_LOOK_AT = 18;
constexpr int MODEL_LAST_LOOK_AT = 80;

// Every transition the model can take, with what it is called when no session reached it;
// counted so that a test can prove its random sessions reach all of them.
#define MODEL_TRANSITIONS(X)                                                                      \
  X(T_START_SETTLING, "start of monitoring: settling")                                            \
  X(T_SETTLE_TICK, "settling: tick")                                                              \
  X(T_SETTLE_ENDS, "settling: tick that ends it, counts read")                                    \
  X(T_EVENT_DROPPED_WHILE_SETTLING, "settling: event dropped")                                    \
  X(T_EVENT_NOT_ARRIVAL_OR_REMOVAL, "event neither arrival nor removal: dropped")                 \
  X(T_EVENT_BAD_HEADER, "arrival or removal without an interface header: dropped")                \
  X(T_EVENT_NOT_AUDIO, "interface of a class that is not audio: dropped")                         \
  X(T_IDLE_TO_VERIFYING, "idle: audio event schedules a verification")                            \
  X(T_IDLE_TO_RESET_AT_ONCE, "idle: audio event, immediate check sees a change: reset pending")   \
  X(T_EVENT_DROPPED_WHILE_VERIFYING, "verification pending: audio event dropped")                 \
  X(T_VERIFICATION_TICK, "verification pending: tick")                                            \
  X(T_VERIFICATION_FINDS_CHANGE, "verification: counts changed, reset pending")                   \
  X(T_VERIFICATION_FINDS_NO_CHANGE, "verification: counts unchanged, the looks follow")           \
  X(T_VERIFICATION_ADOPTS_BASELINE, "verification: no baseline yet, counts adopted")              \
  X(T_RESET_TICK, "reset pending: tick")                                                          \
  X(T_RESET_RUNS_COMMAND, "reset pending: countdown ends, host command run")                      \
  X(T_RESET_WITHOUT_COMMAND_SLOT, "reset pending: countdown ends, no command function")           \
  X(T_RESET_TO_VERIFYING_OVER_RESET, "reset pending: audio event, a verification over it")        \
  X(T_RESET_RESTARTED_AT_ONCE, "reset pending: immediate check sees a change, reset restarted")   \
  X(T_PAUSED_RESET_TICK, "verification over a pending reset: tick, reset paused")                 \
  X(T_EVENT_DROPPED_OVER_RESET, "verification over a pending reset: audio event dropped")         \
  X(T_PAUSED_RESET_RESTARTED, "verification over a pending reset: change found, reset restarted") \
  X(T_PAUSED_RESET_RESUMES, "verification over a pending reset: no change, reset resumes")        \
  X(T_PORT_REMOVAL_RECORDED_WHILE_VERIFYING, "verification pending: port removal recorded")       \
  X(T_VERIFICATION_RESETS_FOR_REMOVED_PORT, "verification: a port removed, reset")                \
  X(T_PORT_ARRIVAL_RECORDED_WHILE_VERIFYING, "verification pending: port arrival recorded")       \
  X(T_LAST_LOOK_RESETS_FOR_ARRIVED_PORT, "last look: counts unchanged but a port arrived, reset") \
  X(T_NOTICE_LOST_IN_A_STALL, "stall: a notice waited too long and was dropped")                  \
  X(T_STALL_SCHEDULES_VERIFICATION, "stall found: a verification as for an accepted notice")      \
  X(T_STALL_COVERED, "stall found while settling, verifying, or with an event in the drain")      \
  X(T_RESUME_DROPPED_WHILE_SETTLING, "settling: resume dropped")                                  \
  X(T_RESUME_RECORDED_WHILE_VERIFYING, "verification pending: resume recorded")                   \
  X(T_RESUME_ACCEPTED, "resume: a verification, or the immediate check, as for a notice")         \
  X(T_VERIFICATION_RESETS_AFTER_RESUME, "verification: counts unchanged after a resume, reset")   \
  X(T_OTHER_POWER_EVENT, "a power event other than the automatic resume: nothing")                \
  X(T_LOOK_TICK, "looking: tick")                                                                 \
  X(T_LOOK_TICK_OVER_RESET, "looking over a pending reset: both count down")                      \
  X(T_SECOND_LOOK_NO_CHANGE, "second look: counts unchanged, the last look follows")              \
  X(T_LAST_LOOK_NO_CHANGE, "last look: counts unchanged, idle")                                   \
  X(T_LOOK_FINDS_CHANGE, "look: counts changed, reset pending")                                   \
  X(T_LOOK_RESTARTS_RESET, "look over a pending reset: counts changed, reset restarted")          \
  X(T_LOOK_THEN_DUE_RESET, "look sees no change, the reset due in the same tick runs")            \
  X(T_NOTICE_ENDS_LOOKS, "looking: an accepted notice ends the looks")                            \
  X(T_NOTICE_FROM_THE_WINDOWS_THREAD, "a notice from the window's own thread, handled at once")   \
  X(T_LOAD_ACCEPTED, "load accepted")                                                             \
  X(T_LOAD_WITHOUT_A_PORT_CLASS, "load accepted without one MIDI port class")                     \
  X(T_LOAD_WITHOUT_RESUME, "load accepted without the suspend/resume registration")               \
  X(T_LOAD_REFUSED_UNREAD, "load refused before reading the record's functions")                  \
  X(T_LOAD_REFUSED_AT_IMPORT, "load refused at the host function import")                         \
  X(T_LOAD_REFUSED_AT_START, "load refused when the window could not be set up")                  \
  X(T_UNLOAD, "unload")                                                                           \
  X(T_TICK_NOT_REGISTERED, "tick before any tick registration: not called")

enum ModelTransition : int {
#define MODEL_TRANSITION_IDENTIFIER(identifier, name) identifier,
  MODEL_TRANSITIONS(MODEL_TRANSITION_IDENTIFIER)
#undef MODEL_TRANSITION_IDENTIFIER
      T_COUNT
};

const char* model_transition_name(ModelTransition transition);

// A notice as far as the rules care: its event, and what its header announces (the one oracle,
// sim/notice_headers.h); or a power event.
struct ModelNotice {
  uint64_t event;
  Announced announced;
  long sent_at_ms;
  bool power;
};

struct ModelState {
  bool diagnostic;
  bool loaded;  // window, class and the audio-class registration all exist
  int registrations;
  bool tick_registered;
  bool host_function_present[MODEL_HOST_FUNCTIONS];
  // A countdown above 0 is the state it names; 0 means that state is not in force.
  int settle_left;
  int verification_left;
  int reset_left;
  // A MIDI port went away since the last verification, or the machine resumed from sleep: the
  // next verification resets whatever it counts.
  bool port_removed;
  bool resumed;
  // A MIDI port came since the last reset was scheduled: a series that sees no count move ends
  // in a reset at its last look.
  bool port_arrived;
  bool resume_registered;
  // Time as the host's ticks and stalls make it pass, and when the last tick came while there was
  // a window (0: none since the load).
  long now_ms;
  long last_tick_ms;
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
void model_start(ModelState* model, bool diagnostic);

// Whether the model can tell what this step does from this state: a host loads a plug-in once, and
// of the calls that may be failed the model knows those a load makes, in their order.
bool model_predicts(const ModelState& model, const ScenarioStep& step);

// Plays one step; returns what the plug-in must answer it: the entry point's result for a load or
// an unload, the window procedure's for a notice sent from the window's thread, 0 otherwise.
int64_t model_step(ModelState* model, const ScenarioStep& step);
