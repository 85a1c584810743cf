#include "host/plugin_entry.h"
#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "tests/unit/test_host.h"

using LifecycleSoak = MonitorTest;

// A host may load and unload the plug-in many times in one process. The simulated platform has
// room for only a few dozen classes, windows and registrations, so anything a cycle leaks, on
// success or on a refused start-up, fails long before the last cycle.
TEST_F(LifecycleSoak, ThousandLoadUnloadCyclesLeaveNothingBehindAndTheLastLoadStillResets) {
  const SimCall start_up_calls[] = {SIM_REGISTER_CLASS_W, SIM_CREATE_WINDOW_EX_W,
                                    SIM_REGISTER_DEVICE_NOTIFICATION_A};
  HostPluginInfo info = make_host_record();
  int loaded = 0;
  for (int cycle = 0; cycle < 1000; ++cycle) {
    bool refused = cycle % 4 == 3;
    if (refused) {
      sim_fail_call(start_up_calls[(cycle / 4) % 3], ERROR_NOT_ENOUGH_MEMORY);
    }
    ASSERT_EQ(VelmarPluginEntry(nullptr, &info), refused ? 0 : 1) << "cycle " << cycle;
    loaded += refused ? 0 : 1;
    if (refused) {
      // Released by the refusal itself: the host may free the module without an unload.
      ASSERT_EQ(sim_class_count() + sim_window_count() + sim_registration_count(), 0)
          << "cycle " << cycle;
    }
    // Dropped while settling, but it still passes through the window and its registration.
    sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
    run_ticks(2);
    ASSERT_EQ(VelmarPluginEntry(nullptr, nullptr), 0) << "cycle " << cycle;
    ASSERT_EQ(sim_class_count(), 0) << "cycle " << cycle;
    ASSERT_EQ(sim_window_count(), 0) << "cycle " << cycle;
    ASSERT_EQ(sim_registration_count(), 0) << "cycle " << cycle;
  }
  EXPECT_EQ(host_registration_count(), loaded);
  EXPECT_TRUE(host_commands().empty());

  ASSERT_EQ(VelmarPluginEntry(nullptr, &info), 1);
  run_ticks(INIT_DELAY_TICKS);
  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  // Delivered in the next tick's drain, which also counts the verification down once.
  run_ticks(CHECK_DELAY_TICKS + RESET_DELAY_TICKS - 1);
  EXPECT_TRUE(host_commands().empty());
  run_ticks(1);
  ASSERT_EQ(host_commands().size(), 1u);
  EXPECT_EQ(host_commands()[0].command, 41175);
  EXPECT_EQ(host_commands()[0].flag, 0);
}
