#include "monitor/monitor_state.h"

#include "monitor/timer_tick.h"
#include "tests/unit/test_host.h"

namespace {

MonitorSnapshot unread() {
  return settled(UNSET_COUNT, UNSET_COUNT);
}

}  // namespace

// A pending verification is left for the tick to finish; the looks, which compare with a
// baseline about to be read afresh, and a reset, which belongs to devices the host is about to
// re-enumerate, are not.
TEST_F(MonitorTest, SettleAfterLoadKeepsARunningCountdownAndAVerificationOnly) {
  put_monitor_snapshot(looking(resetting(verifying(settled(4, 2), 2), 7), 40, true));
  begin_settle();
  settle_after_load();
  MonitorSnapshot expected = verifying(unread(), 2);
  expected.init_ticks_left = INIT_DELAY_TICKS;
  EXPECT_EQ(monitor_snapshot(), expected);
}

TEST_F(MonitorTest, AfterResetToIdleEveryTickDoesNothing) {
  start_fresh_module(true);
  install_host_functions();
  put_monitor_snapshot(looking(resetting(verifying(settled(1, 1), 1), 1), 1, false));
  reset_to_idle();
  EXPECT_EQ(monitor_snapshot(), unread());
  sim_set_midi_counts(4, 4);
  run_ticks(INIT_DELAY_TICKS + LAST_LOOK_TICKS + RESET_DELAY_TICKS);
  EXPECT_TRUE(host_console().empty());
  EXPECT_TRUE(host_commands().empty());
  EXPECT_EQ(sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) + sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS),
            0);
  EXPECT_EQ(monitor_snapshot(), unread());
}

// A verification against a baseline of zero compares instead of adopting a new baseline.
TEST_F(MonitorTest, ZeroDevicesIsAReadCountNotAnUnsetOne) {
  settled_plugin(0, 0, true);
  EXPECT_EQ(monitor_snapshot(), settled(0, 0));
  put_monitor_snapshot(verifying(settled(0, 0), 1));
  on_timer_tick();
  ASSERT_GE(host_console().size(), 2u);
  EXPECT_EQ(host_console()[host_console().size() - 2],
            "Kestrune: [NO CHANGE] MIDI device counts unchanged\n");

  sim_set_midi_counts(1, 0);
  put_monitor_snapshot(verifying(settled(0, 0), 1));
  on_timer_tick();
  EXPECT_EQ(monitor_snapshot(), resetting(settled(1, 0), RESET_DELAY_TICKS));
}
