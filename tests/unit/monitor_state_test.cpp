#include "monitor/monitor_state.h"

#include "monitor/timer_tick.h"
#include "tests/unit/test_host.h"

TEST_F(MonitorTest, SettleAfterLoadKeepsARunningCountdownAndClearsAPendingReset) {
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = 7;
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = 2;
  begin_settle();
  settle_after_load();
  EXPECT_EQ(monitor_state.init_ticks_left, INIT_DELAY_TICKS);
  EXPECT_EQ(monitor_state.last_in_count, UNSET_COUNT);
  EXPECT_EQ(monitor_state.last_out_count, UNSET_COUNT);
  EXPECT_FALSE(monitor_state.reset_pending);
  EXPECT_EQ(monitor_state.reset_ticks_left, 0);
  // A pending verification is left for the tick to finish.
  EXPECT_TRUE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.check_ticks_left, 2);
}

TEST_F(MonitorTest, AfterResetToIdleEveryTickDoesNothing) {
  settle_monitor(1, 1, true);
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = 1;
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = 1;
  reset_to_idle();
  EXPECT_EQ(monitor_state.last_in_count, UNSET_COUNT);
  EXPECT_EQ(monitor_state.last_out_count, UNSET_COUNT);
  sim_set_midi_counts(4, 4);
  run_ticks(INIT_DELAY_TICKS + CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
  EXPECT_TRUE(host_console().empty());
  EXPECT_TRUE(host_commands().empty());
  EXPECT_EQ(sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS), 0);
  EXPECT_EQ(sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS), 0);
  EXPECT_EQ(monitor_state.init_ticks_left, 0);
  EXPECT_FALSE(monitor_state.check_pending);
  EXPECT_FALSE(monitor_state.reset_pending);
}

TEST_F(MonitorTest, ZeroDevicesIsAReadCountNotAnUnsetOne) {
  settle_monitor(0, 0, true);
  EXPECT_EQ(monitor_state.last_in_count, 0);
  EXPECT_EQ(monitor_state.last_out_count, 0);
  // A verification against a baseline of zero compares instead of adopting a new baseline.
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = 1;
  on_timer_tick();
  ASSERT_FALSE(host_console().empty());
  EXPECT_EQ(host_console().back(),
            "Kestrune: [NO_RESET] No MIDI device count change detected after delay, ignoring\n");
  EXPECT_EQ(host_console()[host_console().size() - 2],
            "Kestrune: [NO CHANGE] MIDI device counts unchanged\n");

  sim_set_midi_counts(1, 0);
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = 1;
  on_timer_tick();
  EXPECT_TRUE(monitor_state.reset_pending);
  EXPECT_EQ(monitor_state.last_in_count, 1);
}
