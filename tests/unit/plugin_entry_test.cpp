#include "host/plugin_entry.h"

#include <ostream>
#include <string>
#include <vector>

#include "monitor/interface_class.h"
#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "tests/unit/test_host.h"

namespace {

const std::vector<std::string> ALL_HOST_FUNCTION_NAMES = {"GetMIDIInputName", "GetMIDIOutputName",
                                                          "GetNumMIDIInputs", "GetNumMIDIOutputs",
                                                          "Main_OnCommand",   "ShowConsoleMsg"};

const char CLEANUP_LINE[] = "Kestrune: Windows device monitoring cleaned up\n";

// What an earlier, settled load left, with logging on: live host slots (so any line a refused
// load wrote would show) and known counts (so would any settling it started).
void module_after_earlier_load() {
  module_with_host_functions(true);
  put_monitor_snapshot(settled(4, 2));
}

void expect_slots_kept(const MonitorState& before) {
  for (int slot = 0; slot < HOST_FUNCTION_COUNT; ++slot) {
    EXPECT_EQ(monitor_state.host_functions[slot], before.host_functions[slot]) << "slot " << slot;
  }
}

void expect_inactive(const MonitorSnapshot& monitor = settled(UNSET_COUNT, UNSET_COUNT)) {
  EXPECT_EQ(monitor_snapshot(), monitor);
  EXPECT_EQ(monitor_state.notify_window, nullptr);
  EXPECT_EQ(monitor_state.notify_handle, nullptr);
}

// What each of the host's registration calls saw of the world at the moment it was made.
std::vector<std::string> registrations_seen;

int observe_registration(const char* name, void* value) {
  registrations_seen.push_back(
      std::string(name) + (value == reinterpret_cast<void*>(&on_timer_tick) ? " tick" : " ?") +
      (IsWindow(monitor_state.notify_window) ? ", window" : ", no window") + ", registrations " +
      std::to_string(sim_registration_count()) + ", settling " +
      std::to_string(monitor_state.init_ticks_left));
  return 1;
}

}  // namespace

using PluginLoadRefusal = MonitorTest;

// Refused before anything is created: a record of another version or without one of its own two
// functions before any lookup, one without a host function after every name was looked up, each
// slot then holding its own lookup's result (a loop that stopped at the first null, or a refusal
// that cleared the slots, fails for one of them). Logging is on: nothing may be written either.
TEST_F(PluginLoadRefusal, RefusedRecordTouchesNothingButItsLookups) {
  struct Refusal {
    int32_t version;
    bool null_get_function;
    bool null_register_callback;
    const char* missing;
  };
  std::vector<Refusal> refusals = {{0x20D, false, false, ""},
                                   {0x20F, false, false, ""},
                                   {HOST_API_VERSION, true, false, ""},
                                   {HOST_API_VERSION, false, true, ""}};
  for (const HostImport& absent : host_import_table) {
    refusals.push_back(Refusal{HOST_API_VERSION, false, false, absent.name});
  }
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(testing::Message() << std::hex << refusal.version << " " << refusal.missing);
    module_after_earlier_load();
    HostPluginInfo info = make_host_record(refusal.missing);
    info.api_version = refusal.version;
    info.get_function = refusal.null_get_function ? nullptr : info.get_function;
    info.register_callback = refusal.null_register_callback ? nullptr : info.register_callback;
    MonitorState before = monitor_state;
    EXPECT_EQ(load_plugin(&info), 0);
    bool looked_up = refusal.missing[0] != '\0';
    EXPECT_EQ(host_lookups(), looked_up ? ALL_HOST_FUNCTION_NAMES : std::vector<std::string>{});
    for (const HostImport& import : host_import_table) {
      before.host_functions[import.slot] =
          looked_up ? info.get_function(import.name) : before.host_functions[import.slot];
    }
    expect_inactive(settled(4, 2));
    expect_slots_kept(before);
    EXPECT_TRUE(host_registrations().empty());
    EXPECT_TRUE(host_console().empty());
    EXPECT_EQ(journal_names(), std::vector<std::string>{});
    EXPECT_EQ(live_objects(), NOTHING_LIVE);
    // With nothing to release, an unload only unregisters the class name, and says so where the
    // refused record left it a console.
    EXPECT_EQ(unload_plugin(), 0);
    EXPECT_EQ(journal_names(), CLASS_UNREGISTRATION_ONLY);
    bool console_left = std::string(refusal.missing) != "ShowConsoleMsg";
    EXPECT_EQ(host_console().size(), console_left ? 1u : 0u);
  }
}

using PluginLoad = MonitorTest;

TEST_F(PluginLoad, LooksUpAllFunctionsAndStartsSettlingSilentlyWithLoggingOff) {
  // A reset left over from before belongs to devices the host is about to re-enumerate.
  put_monitor_snapshot(resetting(settled(UNSET_COUNT, UNSET_COUNT), 3));
  ASSERT_EQ(load_plugin(), 1);
  EXPECT_EQ(host_lookups(), ALL_HOST_FUNCTION_NAMES);
  for (const HostImport& import : host_import_table) {
    EXPECT_NE(monitor_state.host_functions[import.slot], nullptr) << import.name;
  }
  EXPECT_TRUE(host_console().empty());
  EXPECT_EQ(monitor_snapshot(), settling(settled(UNSET_COUNT, UNSET_COUNT), INIT_DELAY_TICKS));
  EXPECT_EQ(live_objects(), MONITORING_LIVE);
}

// The first tick drains the window, so the window and its registration must exist before the
// host can call the tick; the settle countdown must already be running for anything it drains.
TEST_F(PluginLoad, RegistersTheTickOnceUnderTimerOnceTheWindowIsListening) {
  HostPluginInfo info = make_host_record();
  info.register_callback = observe_registration;
  ASSERT_EQ(load_plugin(&info), 1);
  EXPECT_EQ(registrations_seen,
            std::vector<std::string>{"timer tick, window, registrations 3, settling 90"});
}

// A pending verification is left for the tick to finish; not the looks, which compare with a
// baseline about to be read afresh, nor a reset, for devices the host is about to re-enumerate.
TEST_F(PluginLoad, SettleAfterLoadKeepsARunningCountdownAndAVerificationOnly) {
  put_monitor_snapshot(looking(resetting(verifying(settled(4, 2), 2), 7), 40, true));
  begin_settle();
  monitor_state.init_ticks_left = 37;
  settle_after_load();
  EXPECT_EQ(monitor_snapshot(), settling(verifying(settled(UNSET_COUNT, UNSET_COUNT), 2), 37));
}

using PluginUnload = MonitorTest;

// Released in reverse order; the two default-procedure calls are the window's destruction messages.
TEST_F(PluginUnload, ReleasesEverythingInReverseAndReturnsToInactiveKeepingTheSlots) {
  settled_plugin(1, 1, true);
  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  run_ticks(1);
  ASSERT_TRUE(monitor_state.reset_pending);
  MonitorState before = monitor_state;
  host_clear_journal();
  sim_clear_calls();

  EXPECT_EQ(unload_plugin(), 0);
  EXPECT_EQ(journal_names(),
            (std::vector<std::string>{
                "UnregisterSuspendResumeNotification", "UnregisterDeviceNotification",
                "UnregisterDeviceNotification", "UnregisterDeviceNotification", "DestroyWindow",
                "DefWindowProcW", "DefWindowProcW", "GetModuleHandleExW", "UnregisterClassW"}));
  EXPECT_EQ(sim_last_default_proc_call().window, before.notify_window);
  EXPECT_EQ(sim_last_default_proc_call().message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_EQ(host_console(), std::vector<std::string>{CLEANUP_LINE});
  EXPECT_EQ(live_objects(), NOTHING_LIVE);
  expect_inactive();
  expect_slots_kept(before);
  EXPECT_TRUE(monitor_state.verbose_log);
}

// With nothing to release (no earlier load, or an unload already made; a refused load above) an
// unload only unregisters the class name, and says so.
TEST_F(PluginUnload, WithNothingToReleaseOnlyUnregistersTheClass) {
  for (bool loaded_before : {false, true}) {
    SCOPED_TRACE(loaded_before);
    module_after_earlier_load();
    if (loaded_before) {
      ASSERT_EQ(load_plugin(), 1);
      unload_plugin();
    }
    sim_clear_calls();
    host_clear_journal();
    EXPECT_EQ(unload_plugin(), 0);
    EXPECT_EQ(journal_names(), CLASS_UNREGISTRATION_ONLY);
    EXPECT_EQ(host_console(), std::vector<std::string>{CLEANUP_LINE});
    expect_inactive();
  }
}

// Ticks the host keeps making after unload. Whatever was under way (an arrival still waiting
// in the queue, a verification, a reset) must not reach the platform or the host any more.
TEST_F(PluginUnload, LaterTicksDoNothingWhateverWasPending) {
  struct Pending {
    const char* what;
    int ticks_after_plug;
    int queued;
    bool verification;
    bool reset;
  };
  for (Pending pending :
       {Pending{"queued arrival", 0, 1, false, false}, Pending{"verification", 1, 0, true, false},
        Pending{"reset", CHECK_DELAY_TICKS + 1, 0, false, true}}) {
    SCOPED_TRACE(pending.what);
    settled_plugin(1, 1, false);
    sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
    run_ticks(pending.ticks_after_plug);
    ASSERT_EQ(sim_queued_message_count(monitor_state.notify_window), pending.queued);
    ASSERT_EQ(monitor_state.check_pending, pending.verification);
    ASSERT_EQ(monitor_state.reset_pending, pending.reset);

    ASSERT_EQ(unload_plugin(), 0);
    sim_clear_calls();
    run_ticks(INIT_DELAY_TICKS + CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
    EXPECT_EQ(journal_names(), std::vector<std::string>{});
    EXPECT_TRUE(host_commands().empty());
    expect_inactive();
  }
}

using PluginReload = MonitorTest;

TEST_F(PluginReload, SecondLoadCreatesItsOwnWindowAndSettlesAgainBeforeCounting) {
  sim_set_midi_counts(2, 1);
  HostPluginInfo info = make_host_record();
  ASSERT_EQ(load_plugin(&info), 1);
  run_ticks(INIT_DELAY_TICKS);
  ASSERT_EQ(monitor_state.last_in_count, 2);
  HWND first_window = monitor_state.notify_window;
  ASSERT_EQ(unload_plugin(), 0);

  sim_set_midi_counts(3, 2);
  sim_clear_calls();
  ASSERT_EQ(load_plugin(&info), 1);
  EXPECT_EQ(live_objects(), MONITORING_LIVE);
  EXPECT_NE(monitor_state.notify_window, first_window);
  EXPECT_TRUE(IsWindow(monitor_state.notify_window));
  EXPECT_EQ(host_registrations(), (std::vector<std::string>{"timer", "timer"}));

  run_ticks(INIT_DELAY_TICKS - 1);
  EXPECT_EQ(count_reads(), 0);
  EXPECT_EQ(monitor_state.last_in_count, UNSET_COUNT);
  EXPECT_EQ(monitor_state.last_out_count, UNSET_COUNT);
  run_ticks(1);
  EXPECT_EQ(monitor_state.last_in_count, 3);
  EXPECT_EQ(monitor_state.last_out_count, 2);
}

// A host that loads the plug-in again without unloading it: a second window would outlive the
// module with the first one's registrations, so this one is kept and the load settles afresh.
TEST_F(PluginReload, LoadWhileLoadedKeepsTheWindowAndOneUnloadReleasesEverything) {
  settled_plugin(1, 1, true);
  HWND window = monitor_state.notify_window;
  ASSERT_EQ(load_plugin(), 1);
  EXPECT_EQ(monitor_state.notify_window, window);
  EXPECT_EQ(live_objects(), MONITORING_LIVE);
  EXPECT_EQ(host_console(),
            (std::vector<std::string>{
                INIT_START_LINE,
                "Kestrune: [SUCCESS] Hidden notification window of the earlier load kept\n",
                "Kestrune: [INIT_SUCCESS] Windows device monitoring initialized successfully\n",
                "Kestrune: Plugin loaded - event-driven monitoring with delayed reset active\n"}));
  run_ticks(INIT_DELAY_TICKS);
  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  run_ticks(CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
  EXPECT_EQ(host_command_count(), 1);
  ASSERT_EQ(unload_plugin(), 0);
  EXPECT_EQ(live_objects(), NOTHING_LIVE);
}
