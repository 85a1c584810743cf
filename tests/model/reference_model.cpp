#include "tests/model/reference_model.h"

namespace {

constexpr int SETTLE_TICKS = 90;
constexpr int CHECK_TICKS = 5;
constexpr int RESET_TICKS = 20;
constexpr int SECOND_LOOK_AT = 18;
constexpr int LAST_LOOK_AT = 80;
constexpr int32_t UNREAD = -1;

const char* const transition_names[T_COUNT] = {
    "start of monitoring: settling",
    "settling: tick",
    "settling: tick that ends it, counts read",
    "settling: event dropped",
    "event neither arrival nor removal: dropped",
    "arrival or removal without an interface header: dropped",
    "interface of a class that is not audio: dropped",
    "idle: audio event starts checking",
    "idle: audio event, immediate check sees a change: reset pending",
    "checking: audio event dropped",
    "checking: tick",
    "checking: counts changed, reset pending",
    "checking: counts unchanged",
    "checking: no baseline yet, counts adopted",
    "reset pending: tick",
    "reset pending: countdown ends, host command run",
    "reset pending: countdown ends, no command function",
    "reset pending: audio event starts checking over it",
    "reset pending: immediate check sees a change, reset restarted",
    "checking over a pending reset: tick, reset paused",
    "checking over a pending reset: audio event dropped",
    "checking over a pending reset: change found, reset restarted",
    "checking over a pending reset: no change, reset resumes",
    "checking: port removal recorded, event dropped",
    "checking: counts unchanged but a port was removed, reset pending",
    "looking: tick",
    "looking over a pending reset: both count down",
    "second look: counts unchanged, the last look follows",
    "last look: counts unchanged, idle",
    "look: counts changed, reset pending",
    "look over a pending reset: counts changed, reset restarted",
    "look sees no change, the reset due in the same tick runs",
    "looking: an accepted notice ends the looks",
    "load accepted",
    "load refused before reading the record's functions",
    "load refused at the host function import",
    "load refused when the window could not be set up",
    "unload",
    "tick before any tick registration: not called",
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
  return model.verbose && model.host_function_present[MODEL_SLOT_SHOW_CONSOLE_MSG];
}

bool is_port_class(ModelClass interface_class) {
  return interface_class == ModelClass::MIDI_IN_PORT ||
         interface_class == ModelClass::MIDI_OUT_PORT;
}

// The classes the window registers for; render and capture are accepted but not asked for.
bool is_registered_class(ModelClass interface_class) {
  return interface_class == ModelClass::AUDIO || is_port_class(interface_class);
}

void schedule_reset(ModelState* model) {
  model->reset_left = RESET_TICKS;
  model->port_removed = false;
}

void end_looks(ModelState* model) {
  model->since_notice = 0;
  model->next_look_at = 0;
}

void handle_device_change(ModelState* model, const ModelEvent& event) {
  if (model->settle_left > 0) {
    count(model, T_EVENT_DROPPED_WHILE_SETTLING);
    return;
  }
  if (event.kind == ModelEventKind::OTHER) {
    count(model, T_EVENT_NOT_ARRIVAL_OR_REMOVAL);
    return;
  }
  if (event.header != ModelHeader::INTERFACE) {
    count(model, T_EVENT_BAD_HEADER);
    return;
  }
  if (event.interface_class == ModelClass::NOT_AUDIO) {
    count(model, T_EVENT_NOT_AUDIO);
    return;
  }
  bool port_removal = is_port_class(event.interface_class) && event.kind == ModelEventKind::REMOVAL;
  if (port_removal) {
    model->port_removed = true;
  }
  bool reset_was_pending = model->reset_left > 0;
  if (model->check_left > 0) {
    count(model, port_removal        ? T_PORT_REMOVAL_RECORDED_WHILE_CHECKING
                 : reset_was_pending ? T_EVENT_DROPPED_OVER_RESET
                                     : T_EVENT_DROPPED_WHILE_CHECKING);
    return;
  }
  if (model->next_look_at > 0) {
    end_looks(model);
    count(model, T_NOTICE_ENDS_LOOKS);
  }
  if (diagnostics_reach_console(*model) && machine_differs_from_baseline(*model)) {
    adopt_machine_counts(model);
    schedule_reset(model);
    count(model, reset_was_pending ? T_RESET_RESTARTED_AT_ONCE : T_IDLE_TO_RESET_AT_ONCE);
    return;
  }
  model->check_left = CHECK_TICKS;
  count(model, reset_was_pending ? T_RESET_TO_CHECKING_OVER_RESET : T_IDLE_TO_CHECKING);
}

void finish_check(ModelState* model) {
  bool reset_was_pending = model->reset_left > 0;
  if (!baseline_known(*model)) {
    adopt_machine_counts(model);
    count(model, T_CHECK_ADOPTS_BASELINE);
  } else if (machine_differs_from_baseline(*model)) {
    adopt_machine_counts(model);
    schedule_reset(model);
    count(model, reset_was_pending ? T_PAUSED_RESET_RESTARTED : T_CHECK_FINDS_CHANGE);
  } else if (model->port_removed) {
    schedule_reset(model);
    count(model, T_CHECK_RESETS_FOR_REMOVED_PORT);
  } else {
    count(model, reset_was_pending ? T_PAUSED_RESET_RESUMES : T_CHECK_FINDS_NO_CHANGE);
    model->since_notice = CHECK_TICKS;
    model->next_look_at = SECOND_LOOK_AT;
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
  if (model->next_look_at == LAST_LOOK_AT) {
    count(model, T_LAST_LOOK_NO_CHANGE);
    end_looks(model);
  } else {
    count(model, T_SECOND_LOOK_NO_CHANGE);
    model->next_look_at = LAST_LOOK_AT;
  }
  if (model->reset_left == 1) {
    count(model, T_LOOK_THEN_DUE_RESET);
  }
  return false;
}

void queue_if_window(ModelState* model, const ModelEvent& event) {
  if (model->loaded) {
    model->waiting.push_back(event);
  }
}

// Plug and unplug notify only registrations for the device's class.
void announce(ModelState* model, ModelEventKind kind, ModelClass interface_class) {
  if (is_registered_class(interface_class)) {
    queue_if_window(model, ModelEvent{kind, ModelHeader::INTERFACE, interface_class});
  }
}

}  // namespace

const char* model_transition_name(ModelTransition transition) {
  return transition >= 0 && transition < T_COUNT ? transition_names[transition] : "?";
}

void model_start(ModelState* model, bool verbose) {
  *model = ModelState{};
  model->verbose = verbose;
  model->known_in = UNREAD;
  model->known_out = UNREAD;
}

void model_tick(ModelState* model) {
  if (!model->tick_registered) {
    count(model, T_TICK_NOT_REGISTERED);
    return;
  }
  while (!model->waiting.empty()) {
    ModelEvent event = model->waiting.front();
    model->waiting.pop_front();
    handle_device_change(model, event);
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
  if (model->check_left > 0) {
    if (--model->check_left == 0) {
      finish_check(model);
    } else {
      count(model, model->reset_left > 0 ? T_PAUSED_RESET_TICK : T_CHECK_TICK);
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
      ++model->commands_run;
      count(model, T_RESET_RUNS_COMMAND);
    } else {
      count(model, T_RESET_WITHOUT_COMMAND_SLOT);
    }
  }
}

void model_send_device_change(ModelState* model, const ModelEvent& event) {
  queue_if_window(model, event);
}

void model_set_counts(ModelState* model, uint32_t inputs, uint32_t outputs) {
  model->machine_in = inputs;
  model->machine_out = outputs;
}

void model_plug(ModelState* model, bool input, ModelClass interface_class) {
  ++(input ? model->machine_in : model->machine_out);
  announce(model, ModelEventKind::ARRIVAL, interface_class);
}

void model_unplug(ModelState* model, bool input, ModelClass interface_class) {
  uint32_t& ports = input ? model->machine_in : model->machine_out;
  if (ports > 0) {
    --ports;
  }
  announce(model, ModelEventKind::REMOVAL, interface_class);
}

bool model_load_reaches_start(const ModelLoad& load) {
  switch (load.kind) {
    case ModelLoadKind::VALID:
    case ModelLoadKind::CLASS_FAILS:
    case ModelLoadKind::WINDOW_FAILS:
    case ModelLoadKind::NOTIFICATION_FAILS:
      return true;
    case ModelLoadKind::MISSING_FUNCTIONS:
      return load.missing == 0;
    case ModelLoadKind::WRONG_VERSION:
    case ModelLoadKind::NO_GET_FUNCTION:
    case ModelLoadKind::NO_REGISTER_CALLBACK:
      return false;
  }
  return false;
}

int32_t model_load(ModelState* model, const ModelLoad& load) {
  if (load.kind == ModelLoadKind::WRONG_VERSION || load.kind == ModelLoadKind::NO_GET_FUNCTION ||
      load.kind == ModelLoadKind::NO_REGISTER_CALLBACK) {
    count(model, T_LOAD_REFUSED_UNREAD);
    return 0;
  }
  unsigned missing = load.kind == ModelLoadKind::MISSING_FUNCTIONS ? load.missing : 0;
  for (int slot = 0; slot < MODEL_HOST_FUNCTIONS; ++slot) {
    model->host_function_present[slot] = (missing & (1u << slot)) == 0;
  }
  if (missing != 0) {
    count(model, T_LOAD_REFUSED_AT_IMPORT);
    return 0;
  }
  // Settling begins before anything is created, whatever becomes of the start.
  model->settle_left = SETTLE_TICKS;
  model->port_removed = false;
  end_looks(model);
  model->known_in = UNREAD;
  model->known_out = UNREAD;
  count(model, T_START_SETTLING);
  if (load.kind == ModelLoadKind::CLASS_FAILS || load.kind == ModelLoadKind::WINDOW_FAILS ||
      load.kind == ModelLoadKind::NOTIFICATION_FAILS) {
    // What the failed start had acquired is released again: no window is left behind.
    model->loaded = false;
    count(model, T_LOAD_REFUSED_AT_START);
    return 0;
  }
  model->loaded = true;
  model->tick_registered = true;
  // A reset left from an earlier load belongs to devices the host has re-enumerated since.
  model->reset_left = 0;
  count(model, T_LOAD_ACCEPTED);
  return 1;
}

int32_t model_unload(ModelState* model) {
  model->loaded = false;
  model->waiting.clear();
  model->settle_left = 0;
  model->check_left = 0;
  model->reset_left = 0;
  model->port_removed = false;
  end_looks(model);
  model->known_in = UNREAD;
  model->known_out = UNREAD;
  count(model, T_UNLOAD);
  return 0;
}
