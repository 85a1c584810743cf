#include "tests/model/reference_model.h"

#include <algorithm>
#include <iterator>

#include "host/host_api.h"

namespace {

constexpr int SETTLE_TICKS = 90;
constexpr int RESET_TICKS = 20;
constexpr int32_t UNREAD = -1;
constexpr int CLASSES_REGISTERED = 3;  // the audio class and the two MIDI port classes

const char* const transition_names[T_COUNT] = {
#define MODEL_TRANSITION_NAME(identifier, name) name,
    MODEL_TRANSITIONS(MODEL_TRANSITION_NAME)
#undef MODEL_TRANSITION_NAME
};

void count(ModelState* model, ModelTransition transition) {
  ++model->transitions[transition];
}

bool baseline_known(const ModelState& model) {
  return model.known_in != UNREAD && model.known_out != UNREAD;
}

bool machine_differs_from_baseline(const ModelState& model) {
  return static_cast<int32_t>(model.machine_in) != model.known_in ||
         static_cast<int32_t>(model.machine_out) != model.known_out;
}

void adopt_machine_counts(ModelState* model) {
  model->known_in = static_cast<int32_t>(model->machine_in);
  model->known_out = static_cast<int32_t>(model->machine_out);
}

// The immediate check exists only for diagnostics, and needs the console to be reachable.
bool diagnostics_reach_console(const ModelState& model) {
  return model.diagnostic && model.host_function_present[MODEL_SLOT_SHOW_CONSOLE_MSG];
}

// What else a verification or a last look would reset for is forgotten once a reset is scheduled.
void forget_records(ModelState* model) {
  model->port_removed = false;
  model->resumed = false;
  model->port_arrived = false;
}

void schedule_reset(ModelState* model) {
  model->reset_left = RESET_TICKS;
  forget_records(model);
}

void end_looks(ModelState* model) {
  model->since_notice = 0;
  model->next_look_at = 0;
}

// A start of monitoring, and an unload: nothing known of the devices or of the last tick.
void forget_devices(ModelState* model) {
  forget_records(model);
  end_looks(model);
  model->last_tick_ms = 0;
  model->known_in = UNREAD;
  model->known_out = UNREAD;
}

// ---- Notices ---------------------------------------------------------------------------------

// A device-interface header has room for its class, and says it is of that type.
Announced announced_by(const ScenarioStep& step) {
  switch (step.header) {
    case NOTIFY_INTERFACE_HEADER:
      // A header shorter than the class's end has no room for the class it would announce.
      if ((step.header_size != 0 && step.header_size < NOTICE_NAME_OFFSET) ||
          step.device_type != DBT_DEVTYP_DEVICEINTERFACE) {
        return Announced::NOTHING_READABLE;
      }
      return class_announced(step.device_class);
    case NOTIFY_BYTES:
      return header_announces(step.bytes.data(), step.bytes.size());
    case NOTIFY_SHORT_HEADER:
    case NOTIFY_NO_HEADER:
    case NOTIFY_POISONED:
      break;
  }
  return Announced::NOTHING_READABLE;
}

// An accepted notice, resume or stall: its own verification in place of the earlier one's looks,
// or, with diagnostics on and the counts moved, the reset at once (and then it returns true).
bool accept(ModelState* model) {
  if (model->next_look_at > 0) {
    end_looks(model);
    count(model, T_NOTICE_ENDS_LOOKS);
  }
  if (diagnostics_reach_console(*model) && machine_differs_from_baseline(*model)) {
    adopt_machine_counts(model);
    schedule_reset(model);
    return true;
  }
  model->verification_left = MODEL_CHECK_TICKS;
  return false;
}

// Only the automatic resume, always sent on waking, says anything: the host's handles may be dead.
bool handle_power_event(ModelState* model, uint64_t event) {
  if (event != PBT_APMRESUMEAUTOMATIC) {
    count(model, T_OTHER_POWER_EVENT);
    return false;
  }
  if (model->settle_left > 0) {
    count(model, T_RESUME_DROPPED_WHILE_SETTLING);
    return false;
  }
  model->resumed = true;
  if (model->verification_left > 0) {
    count(model, T_RESUME_RECORDED_WHILE_VERIFYING);
    return false;
  }
  accept(model);
  count(model, T_RESUME_ACCEPTED);
  return true;
}

// Returns whether the notice was accepted.
bool handle_notice(ModelState* model, const ModelNotice& notice) {
  if (notice.power) {
    return handle_power_event(model, notice.event);
  }
  if (model->settle_left > 0) {
    count(model, T_EVENT_DROPPED_WHILE_SETTLING);
    return false;
  }
  bool arrival = notice.event == DBT_DEVICEARRIVAL;
  if (!arrival && notice.event != DBT_DEVICEREMOVECOMPLETE) {
    count(model, T_EVENT_NOT_ARRIVAL_OR_REMOVAL);
    return false;
  }
  if (notice.announced == Announced::NOTHING_READABLE) {
    count(model, T_EVENT_BAD_HEADER);
    return false;
  }
  if (notice.announced == Announced::OTHER_CLASS) {
    count(model, T_EVENT_NOT_AUDIO);
    return false;
  }
  bool port = notice.announced == Announced::PORT_CLASS;
  (arrival ? model->port_arrived : model->port_removed) |= port;
  bool reset_was_pending = model->reset_left > 0;
  if (model->verification_left > 0) {
    count(model, port && !arrival    ? T_PORT_REMOVAL_RECORDED_WHILE_VERIFYING
                 : port              ? T_PORT_ARRIVAL_RECORDED_WHILE_VERIFYING
                 : reset_was_pending ? T_EVENT_DROPPED_OVER_RESET
                                     : T_EVENT_DROPPED_WHILE_VERIFYING);
    return false;
  }
  if (accept(model)) {
    count(model, reset_was_pending ? T_RESET_RESTARTED_AT_ONCE : T_IDLE_TO_RESET_AT_ONCE);
  } else {
    count(model, reset_was_pending ? T_RESET_TO_VERIFYING_OVER_RESET : T_IDLE_TO_VERIFYING);
  }
  return true;
}

// Time passes; a notice that has waited the system's timeout unretrieved is dropped.
void pass_time(ModelState* model, long milliseconds) {
  model->now_ms += milliseconds;
  for (auto notice = model->waiting.begin(); notice != model->waiting.end();) {
    if (model->now_ms - notice->sent_at_ms >= MODEL_SEND_TIMEOUT_MS) {
      count(model, T_NOTICE_LOST_IN_A_STALL);
      notice = model->waiting.erase(notice);
    } else {
      ++notice;
    }
  }
}

// Queued for the next drain, or handled at once from the window's own thread; lost with no window.
void send_notice(ModelState* model, const ScenarioStep& step) {
  if (!model->loaded) {
    return;
  }
  ModelNotice notice{step.event_code, announced_by(step), model->now_ms, false};
  if (step.now) {
    count(model, T_NOTICE_FROM_THE_WINDOWS_THREAD);
    handle_notice(model, notice);
  } else {
    model->waiting.push_back(notice);
  }
}

// ---- Ticks -----------------------------------------------------------------------------------

void finish_verification(ModelState* model) {
  bool reset_was_pending = model->reset_left > 0;
  if (!baseline_known(*model)) {
    adopt_machine_counts(model);
    count(model, T_VERIFICATION_ADOPTS_BASELINE);
  } else if (machine_differs_from_baseline(*model)) {
    adopt_machine_counts(model);
    schedule_reset(model);
    count(model, reset_was_pending ? T_PAUSED_RESET_RESTARTED : T_VERIFICATION_FINDS_CHANGE);
  } else if (model->port_removed || model->resumed) {
    count(model, model->port_removed ? T_VERIFICATION_RESETS_FOR_REMOVED_PORT
                                     : T_VERIFICATION_RESETS_AFTER_RESUME);
    schedule_reset(model);
  } else {
    count(model, reset_was_pending ? T_PAUSED_RESET_RESUMES : T_VERIFICATION_FINDS_NO_CHANGE);
    model->since_notice = MODEL_CHECK_TICKS;
    model->next_look_at = MODEL_SECOND_LOOK_AT;
  }
}

// Returns whether the look scheduled the reset.
bool look(ModelState* model) {
  if (machine_differs_from_baseline(*model)) {
    count(model, model->reset_left > 0 ? T_LOOK_RESTARTS_RESET : T_LOOK_FINDS_CHANGE);
    adopt_machine_counts(model);
    schedule_reset(model);
    end_looks(model);
    return true;
  }
  if (model->next_look_at == MODEL_LAST_LOOK_AT && model->port_arrived) {
    count(model, T_LAST_LOOK_RESETS_FOR_ARRIVED_PORT);
    schedule_reset(model);
    end_looks(model);
    return true;
  }
  if (model->next_look_at == MODEL_LAST_LOOK_AT) {
    count(model, T_LAST_LOOK_NO_CHANGE);
    end_looks(model);
  } else {
    count(model, T_SECOND_LOOK_NO_CHANGE);
    model->next_look_at = MODEL_LAST_LOOK_AT;
  }
  if (model->reset_left == 1) {
    count(model, T_LOOK_THEN_DUE_RESET);
  }
  return false;
}

// A gap of a second between two ticks of a window: notices may have been lost meanwhile, so the
// counts are verified as for a notice, unless something already takes care of it.
void note_tick_time(ModelState* model, bool accepted_in_drain) {
  bool stalled = model->last_tick_ms != 0 && model->now_ms - model->last_tick_ms >= MODEL_STALL_MS;
  model->last_tick_ms = model->now_ms;
  if (!stalled) {
    return;
  }
  if (accepted_in_drain || model->settle_left > 0 || model->verification_left > 0) {
    count(model, T_STALL_COVERED);
    return;
  }
  accept(model);
  count(model, T_STALL_SCHEDULES_VERIFICATION);
}

// The host's periodic call, a tick period after the last: waiting messages, time, then countdowns.
void tick(ModelState* model) {
  pass_time(model, MODEL_TICK_MS);
  if (!model->tick_registered) {
    count(model, T_TICK_NOT_REGISTERED);
    return;
  }
  bool accepted = false;
  while (!model->waiting.empty()) {
    ModelNotice notice = model->waiting.front();
    model->waiting.pop_front();
    accepted = handle_notice(model, notice) || accepted;
  }
  if (model->loaded) {
    note_tick_time(model, accepted);
  }
  if (model->settle_left > 0) {
    if (--model->settle_left == 0) {
      adopt_machine_counts(model);
      count(model, T_SETTLE_ENDS);
    } else {
      count(model, T_SETTLE_TICK);
    }
    return;
  }
  if (model->verification_left > 0) {
    if (--model->verification_left == 0) {
      finish_verification(model);
    } else {
      count(model, model->reset_left > 0 ? T_PAUSED_RESET_TICK : T_VERIFICATION_TICK);
    }
    return;
  }
  // The looks never pause the reset: both count down, the look first.
  bool look_scheduled_reset = false;
  if (model->next_look_at > 0) {
    if (++model->since_notice == model->next_look_at) {
      look_scheduled_reset = look(model);
    } else {
      count(model, model->reset_left > 0 ? T_LOOK_TICK_OVER_RESET : T_LOOK_TICK);
    }
  }
  if (model->reset_left > 0 && !look_scheduled_reset) {
    if (--model->reset_left > 0) {
      count(model, T_RESET_TICK);
    } else if (model->host_function_present[MODEL_SLOT_MAIN_ON_COMMAND]) {
      // However long the host takes to re-open its devices, that is no stall.
      ++model->commands_run;
      count(model, T_RESET_RUNS_COMMAND);
    } else {
      count(model, T_RESET_WITHOUT_COMMAND_SLOT);
    }
  }
}

// ---- Loads and unloads -----------------------------------------------------------------------

bool record_read(const ScenarioStep& load) {
  return load.api_version == HOST_API_VERSION && load.record == RECORD_VALID;
}

bool reaches_start(const ScenarioStep& load) {
  return record_read(load) && load.missing_functions == 0;
}

// The calls of a start that may fail, in order: the module's instance, the class, the window,
// and the registrations for the audio class and the two MIDI port classes. Returns how many
// classes stay registered, or 0 for a refused start.
int classes_registered_despite(const ModelState& model, bool failing) {
  if (!failing) {
    return CLASSES_REGISTERED;
  }
  const ScenarioStep& failure = model.failure;
  bool required =
      failure.nth == 1 && (failure.call == "GetModuleHandleExW" ||
                           failure.call == "RegisterClassW" || failure.call == "CreateWindowExW");
  // A class that failed to register is missing whatever error it gave: even one saying it
  // exists, as none does here.
  if (required || (failure.call == "RegisterDeviceNotificationA" && failure.nth == 1)) {
    return 0;
  }
  bool port_class_lost = failure.call == "RegisterDeviceNotificationA" && failure.nth <= 3;
  return port_class_lost ? CLASSES_REGISTERED - 1 : CLASSES_REGISTERED;
}

// `failing`: a "fail" step came just before, and this load meets its failure.
int32_t load(ModelState* model, const ScenarioStep& step, bool failing) {
  if (!record_read(step)) {
    count(model, T_LOAD_REFUSED_UNREAD);
    return 0;
  }
  for (int slot = 0; slot < MODEL_HOST_FUNCTIONS; ++slot) {
    model->host_function_present[slot] = (step.missing_functions & (1u << slot)) == 0;
  }
  if (step.missing_functions != 0) {
    count(model, T_LOAD_REFUSED_AT_IMPORT);
    return 0;
  }
  // Settling begins before anything is created, whatever becomes of the start, and the first
  // tick after it has no tick before it.
  model->settle_left = SETTLE_TICKS;
  forget_devices(model);
  count(model, T_START_SETTLING);
  int registered = classes_registered_despite(*model, failing);
  if (registered == 0) {
    // What the failed start had acquired is released again: no window is left behind.
    model->loaded = false;
    count(model, T_LOAD_REFUSED_AT_START);
    return 0;
  }
  model->loaded = true;
  model->registrations = registered;
  // Optional as the port classes are, and the last thing the start registers.
  model->resume_registered =
      !(failing && model->failure.call == "RegisterSuspendResumeNotification");
  model->tick_registered = true;
  // A reset left from an earlier load belongs to devices the host has re-enumerated since.
  model->reset_left = 0;
  count(model, registered < CLASSES_REGISTERED ? T_LOAD_WITHOUT_A_PORT_CLASS
               : model->resume_registered      ? T_LOAD_ACCEPTED
                                               : T_LOAD_WITHOUT_RESUME);
  return 1;
}

int32_t unload(ModelState* model) {
  model->loaded = false;
  model->registrations = 0;
  model->waiting.clear();
  model->settle_left = 0;
  model->verification_left = 0;
  model->reset_left = 0;
  model->resume_registered = false;
  forget_devices(model);
  count(model, T_UNLOAD);
  return 0;
}

const char* const START_CALLS[] = {"GetModuleHandleExW", "RegisterClassW", "CreateWindowExW",
                                   "RegisterDeviceNotificationA",
                                   "RegisterSuspendResumeNotification"};

}  // namespace

const char* model_transition_name(ModelTransition transition) {
  return transition >= 0 && transition < T_COUNT ? transition_names[transition] : "?";
}

void model_start(ModelState* model, bool diagnostic) {
  *model = ModelState{};
  model->diagnostic = diagnostic;
  forget_devices(model);
}

bool model_predicts(const ModelState& model, const ScenarioStep& step) {
  if (step.kind == STEP_LOAD && model.loaded && reaches_start(step)) {
    return false;
  }
  if (model.failure_armed) {
    return step.kind == STEP_LOAD && reaches_start(step);
  }
  return step.kind != STEP_FAIL || std::find(std::begin(START_CALLS), std::end(START_CALLS),
                                             step.call) != std::end(START_CALLS);
}

int64_t model_step(ModelState* model, const ScenarioStep& step) {
  bool failing = model->failure_armed;
  model->failure_armed = false;
  int64_t answer = 0;
  switch (step.kind) {
    case STEP_TICK:
      for (long i = 0; i < step.ticks; ++i) {
        tick(model);
      }
      break;
    case STEP_LOAD:
      answer = load(model, step, failing);
      break;
    case STEP_UNLOAD:
      answer = unload(model);
      break;
    case STEP_COUNTS:
      model->machine_in = step.inputs;
      model->machine_out = step.outputs;
      break;
    case STEP_PLUG:
    case STEP_UNPLUG: {
      // The port first, then its notice, which the window gets whatever the class.
      uint32_t& ports = step.input_port ? model->machine_in : model->machine_out;
      ports = step.kind == STEP_PLUG ? ports + 1 : ports - 1;
      send_notice(model, step);
      break;
    }
    case STEP_NOTIFY:
      send_notice(model, step);
      break;
    case STEP_MESSAGE:
      // No device event: whatever it is, the window hands it on or drops it.
      break;
    case STEP_FAIL:
      model->failure_armed = true;
      model->failure = step;
      break;
    case STEP_STALL:
      if (!step.during.empty()) {
        model_step(model, step.during[0]);
      }
      pass_time(model, step.stall_ms);
      break;
    case STEP_POWER:
      // The system sends it to the windows registered for it.
      if (model->loaded && model->resume_registered) {
        model->waiting.push_back(
            {step.event_code, Announced::NOTHING_READABLE, model->now_ms, true});
      }
      break;
  }
  return answer;
}
