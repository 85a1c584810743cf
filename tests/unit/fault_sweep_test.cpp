// Fault simulation after SQLite's: the Nth call that can fail fails, for N = 1, 2, ... until a run
// goes through untouched, so that every failure path of a load, an unload and a tick is taken.
#include <string>
#include <vector>

#include "monitor/interface_class.h"
#include "monitor/monitor_state.h"
#include "platform/windows/notification_window.h"
#include "platform/windows/window_class.h"
#include "tests/unit/test_host.h"

namespace {

const char NO_WINDOW_LINE[] = "Kestrune: [ERROR] Failed to create notification window\n";
const char NO_CLASS_LINE[] = "Kestrune: Failed to register window class\n";

// The load's calls that can fail, in order.
const std::vector<std::string> LOAD_CALLS_THAT_CAN_FAIL = {"GetModuleHandleExW",
                                                           "RegisterClassW",
                                                           "CreateWindowExW",
                                                           "RegisterDeviceNotificationA",
                                                           "RegisterDeviceNotificationA",
                                                           "RegisterDeviceNotificationA",
                                                           "RegisterSuspendResumeNotification"};

// What a load refused at each of its calls writes after the INIT_START line.
std::vector<std::string> refusal_lines(SimCall failed) {
  switch (failed) {
    case SIM_GET_MODULE_HANDLE_EX_W:
    case SIM_REGISTER_CLASS_W:
      return {NO_CLASS_LINE, NO_WINDOW_LINE};
    case SIM_CREATE_WINDOW_EX_W:
      return {"Kestrune: Failed to create hidden window\n", NO_WINDOW_LINE};
    case SIM_REGISTER_DEVICE_NOTIFICATION_A:
      return {"Kestrune: [SUCCESS] Hidden notification window created\n",
              "Kestrune: Failed to register for device notifications\n",
              "Kestrune: [ERROR] Failed to register device notifications\n"};
    default:
      break;
  }
  return {"(no refusal expected at " + std::string(sim_call_name(failed)) + ")"};
}

// Runs `run` with the Nth call that can fail failing; returns it, or SIM_CALL_COUNT if untouched.
template <typename Run>
SimCall with_nth_call_failing(int nth, Run run) {
  sim_fail_nth_call(nth, ERROR_NOT_ENOUGH_MEMORY);
  run();
  SimCall failed = sim_failed_call();
  sim_fail_nth_call(0, ERROR_SUCCESS);
  return failed;
}

// Runs `attempt(N)` for N = 1, 2, ... until it says its run went through untouched.
template <typename Attempt>
void sweep(const char* what, Attempt attempt) {
  for (int nth = 1;; ++nth) {
    ASSERT_LT(nth, 400) << "no " << what << " went through untouched";
    SCOPED_TRACE(testing::Message() << what << " with call " << nth << " that can fail failing");
    if (attempt(nth) == SIM_CALL_COUNT) {
      return;
    }
  }
}

SimCall load_failing(int nth, int32_t* loaded) {
  return with_nth_call_failing(nth, [loaded] { *loaded = load_plugin(); });
}

// The two ways such a load may end. Refused, it leaves nothing behind, not even a class an earlier
// load left once the start got past its own (a host that then frees the module would keep a
// procedure pointing into unloaded code), registers no tick and still settles afresh; an unload
// then only unregisters the class name. Loaded, it lost at most one optional registration (a MIDI
// port class, suspend and resume), and an unload releases the rest.
void expect_clean_end(SimCall failed, int32_t loaded, int ticks_before, bool earlier_class) {
  SCOPED_TRACE(std::string("failed call ") + sim_call_name(failed));
  if (loaded == 0) {
    EXPECT_NE(failed, SIM_CALL_COUNT) << "refused with no failure";
    bool class_left =
        earlier_class && (failed == SIM_GET_MODULE_HANDLE_EX_W || failed == SIM_REGISTER_CLASS_W);
    EXPECT_EQ(live_objects(), (std::vector<int>{class_left ? 1 : 0, 0, 0, 0}));
    EXPECT_EQ(monitor_snapshot(), settling(settled(UNSET_COUNT, UNSET_COUNT), INIT_DELAY_TICKS));
    EXPECT_EQ(host_registration_count(), ticks_before);
    sim_clear_calls();
    EXPECT_EQ(unload_plugin(), 0);
    EXPECT_EQ(journal_names(), CLASS_UNREGISTRATION_ONLY);
    EXPECT_EQ(live_objects(), NOTHING_LIVE);
    return;
  }
  EXPECT_NE(monitor_state.notify_handle, nullptr);
  EXPECT_EQ(live_objects(),
            (std::vector<int>{1, 1, failed == SIM_REGISTER_DEVICE_NOTIFICATION_A ? 2 : 3,
                              failed == SIM_REGISTER_SUSPEND_RESUME ? 0 : 1}));
  EXPECT_TRUE(failed == SIM_CALL_COUNT || failed == SIM_REGISTER_DEVICE_NOTIFICATION_A ||
              failed == SIM_REGISTER_SUSPEND_RESUME)
      << "loaded although a required call failed";
  EXPECT_EQ(unload_plugin(), 0);
  EXPECT_EQ(live_objects(), NOTHING_LIVE);
}

// A load that lost an optional registration still hears the rest, and says which one it lost.
void expect_listening_without_one_optional_registration(SimCall failed) {
  bool resume_lost = failed == SIM_REGISTER_SUSPEND_RESUME;
  bool input_lost = monitor_state.input_port_notify_handle == nullptr;
  ASSERT_EQ(resume_lost, monitor_state.power_notify_handle == nullptr);
  ASSERT_NE(input_lost || resume_lost, monitor_state.output_port_notify_handle == nullptr);
  std::vector<std::string> console = host_console();
  ASSERT_EQ(console.size(), 7u);
  EXPECT_EQ(console[3], std::string("Kestrune: [WARNING] Failed to register for ") +
                            (resume_lost  ? "suspend/resume"
                             : input_lost ? "MIDI input port"
                                          : "MIDI output port") +
                            " notifications (error 8) - monitoring goes on without them\n");
  HWND window = monitor_state.notify_window;
  sim_power_event(PBT_APMRESUMEAUTOMATIC);
  int heard = resume_lost ? 0 : 1;
  EXPECT_EQ(sim_queued_message_count(window), heard);
  if (!resume_lost) {
    sim_plug_device(SIM_MIDI_INPUT,
                    input_lost ? MIDI_INPUT_PORT_INTERFACE : MIDI_OUTPUT_PORT_INTERFACE);
    EXPECT_EQ(sim_queued_message_count(window), heard);
  }
  sim_plug_device(SIM_MIDI_INPUT,
                  input_lost ? MIDI_OUTPUT_PORT_INTERFACE : MIDI_INPUT_PORT_INTERFACE);
  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  EXPECT_EQ(sim_queued_message_count(window), heard + 2);
}

}  // namespace

class FaultSweep : public MonitorTest {};

// Each load once in a fresh process and once over the class an earlier load of the module left
// when it went without unregistering it, which a start-up takes as its own.
TEST_F(FaultSweep, EveryFailedCallOfALoadRefusesItCleanlyOrCostsOnlyAPortClass) {
  for (bool earlier_class : {false, true}) {
    std::vector<std::string> failed_calls;
    sweep(earlier_class ? "load over a class left" : "load",
          [&failed_calls, earlier_class](int nth) {
            start_fresh_module(true);
            put_monitor_snapshot(settled(4, 2));  // from an earlier settle, to be read afresh
            if (earlier_class) {
              EXPECT_NE(register_window_class(WINDOW_CLASS_NAME, sim_plugin_module(),
                                              notification_window_proc),
                        0);
            }
            int32_t loaded = 0;
            SimCall failed = load_failing(nth, &loaded);
            if (failed != SIM_CALL_COUNT) {
              failed_calls.emplace_back(sim_call_name(failed));
            }
            if (loaded == 1 && failed != SIM_CALL_COUNT) {
              expect_listening_without_one_optional_registration(failed);
            } else if (loaded == 0) {
              std::vector<std::string> expected = refusal_lines(failed);
              expected.insert(expected.begin(), INIT_START_LINE);
              EXPECT_EQ(host_console(), expected);
            }
            expect_clean_end(failed, loaded, 0, earlier_class);
            return failed;
          });
    EXPECT_EQ(failed_calls, LOAD_CALLS_THAT_CAN_FAIL);
  }
}

// Whatever an unload cannot release stays behind alone, and the next load works despite a class or
// registration left over; but it takes a window that could not be destroyed for another copy's and
// refuses. Registrations go port classes first, as each failed release's leftover shows.
TEST_F(FaultSweep, EveryFailedCallOfAnUnloadLeavesOnlyWhatItCouldNotRelease) {
  const GUID* const release_order[] = {&MIDI_OUTPUT_PORT_INTERFACE, &MIDI_INPUT_PORT_INTERFACE,
                                       &KSCATEGORY_AUDIO};
  int failed_releases = 0;
  sweep("unload", [&release_order, &failed_releases](int nth) {
    settled_plugin(1, 1, false);
    SimCall failed = with_nth_call_failing(nth, [] { EXPECT_EQ(unload_plugin(), 0); });
    SCOPED_TRACE(std::string("failed call ") + sim_call_name(failed));
    EXPECT_EQ(monitor_snapshot(), settled(UNSET_COUNT, UNSET_COUNT));
    EXPECT_EQ(monitor_state.notify_window, nullptr);
    EXPECT_TRUE(monitor_state.notify_handle == nullptr &&
                monitor_state.input_port_notify_handle == nullptr &&
                monitor_state.output_port_notify_handle == nullptr);
    bool window_left = failed == SIM_DESTROY_WINDOW;
    bool class_left =
        window_left || failed == SIM_GET_MODULE_HANDLE_EX_W || failed == SIM_UNREGISTER_CLASS_W;
    bool registration_left = failed == SIM_UNREGISTER_DEVICE_NOTIFICATION;
    EXPECT_EQ(live_objects(),
              (std::vector<int>{class_left ? 1 : 0, window_left ? 1 : 0, registration_left ? 1 : 0,
                                failed == SIM_UNREGISTER_SUSPEND_RESUME ? 1 : 0}));
    if (registration_left) {
      EXPECT_TRUE(sim_registered_for(*release_order[failed_releases++]));
    }
    if (failed != SIM_CALL_COUNT) {
      EXPECT_EQ(load_plugin(), window_left ? 0 : 1);
      run_ticks(INIT_DELAY_TICKS);
      sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
      run_ticks(CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
      EXPECT_EQ(host_command_count(), window_left ? 0 : 1) << "the reloaded plug-in's reset";
    }
    return failed;
  });
  EXPECT_EQ(failed_releases, 3);
}

// The ticks' only call that can fail is the message check: a tick whose check fails drains nothing,
// its messages wait for the next, and a pending reset, paused by a notice, still comes once.
TEST_F(FaultSweep, AFailedCallInAnyTickNeitherLosesNorDoublesAPendingReset) {
  sweep("session", [](int nth) {
    settled_plugin(1, 1, false);
    SimCall failed = with_nth_call_failing(nth, [] {
      sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
      run_ticks(CHECK_DELAY_TICKS + 3);
      sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
      run_ticks(LAST_LOOK_TICKS + 2 * RESET_DELAY_TICKS);
    });
    EXPECT_EQ(host_command_count(), 1) << "failed call " << sim_call_name(failed);
    return failed;
  });
}

// Loads and unloads in one process: anything a cycle leaks, loaded or refused at any of its calls,
// fills the simulated platform's few dozen slots long before the last. The last load still resets.
TEST_F(FaultSweep, ThousandLoadUnloadCyclesFailingEachCallInTurnLeaveNothingBehind) {
  for (int cycle = 0; cycle < 1000; ++cycle) {
    SCOPED_TRACE(cycle);
    if (cycle % 4 == 3) {
      int ticks_before = host_registration_count();
      int32_t loaded = 0;
      int nth = 1 + (cycle / 4) % static_cast<int>(LOAD_CALLS_THAT_CAN_FAIL.size());
      SimCall failed = load_failing(nth, &loaded);
      expect_clean_end(failed, loaded, ticks_before, false);
      continue;
    }
    ASSERT_EQ(load_plugin(), 1);
    // Dropped while settling, but it still passes through the window and its registration.
    sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
    run_ticks(2);
    ASSERT_EQ(unload_plugin(), 0);
    ASSERT_EQ(live_objects(), NOTHING_LIVE);
  }
  EXPECT_EQ(host_command_count(), 0);
  settled_plugin(1, 1, false);
  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  run_ticks(CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
  EXPECT_EQ(host_command_count(), 1);
}
